def main():
    n = 120
    a = [[(i * 7 + j) % 10 for j in range(n)] for i in range(n)]
    b = [[(i + j * 3) % 10 for j in range(n)] for i in range(n)]
    c = [[0] * n for i in range(n)]
    total = 0
    for i in range(n):
        for j in range(n):
            t = 0
            for k in range(n):
                t += a[i][k] * b[k][j]
            c[i][j] = t
            total = (total + t) % 1000003
    print(total)
main()
