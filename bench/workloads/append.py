def main():
    s = ""
    for i in range(200000):
        s += "abc"
    print(len(s))
main()
