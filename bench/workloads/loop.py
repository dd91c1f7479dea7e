def main():
    s = 0
    for i in range(5000000):
        if i % 3 == 0:
            s = (s + i) % 1000003
        else:
            s = (s + 7) % 1000003
    print(s)
main()
