import functools
def compare(a, b):
    return a - b
def main():
    data = []
    x = 12345
    for i in range(100000):
        x = ((x * 1103515245 + 12345) % 4294967296) & 0x7FFFFFFF
        data.append(x % 1000000)
    data.sort(key=functools.cmp_to_key(compare))
    print(data[0], data[50000], data[99999])
main()
