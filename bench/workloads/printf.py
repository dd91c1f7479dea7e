import sys
def main():
    write = sys.stdout.write
    for i in range(200000):
        write("%d %s %x %.2f\n" % (i, "line", i, i / 3.0))
main()
