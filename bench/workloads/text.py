import re
import sys
WORD = re.compile(r"[^ \t\n,.;:!?]+")
def main():
    lines = words = chars = 0
    with open(sys.argv[1]) as f:
        for line in f:
            lines += 1
            chars += len(line)
            words += len(WORD.findall(line))
    print(lines, words, chars)
main()
