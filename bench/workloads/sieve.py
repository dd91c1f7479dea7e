def main():
    n = 2000000
    flags = [False] * (n + 1)
    count = 0
    for i in range(2, n + 1):
        if not flags[i]:
            count += 1
            for j in range(i + i, n + 1, i):
                flags[j] = True
    print(count)
main()
