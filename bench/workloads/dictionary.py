def main():
    names = [f"key{i}" for i in range(2000)]
    counts = {name: 0 for name in names}
    x = 12345
    for _ in range(200000):
        x = ((x * 1103515245 + 12345) % 4294967296) & 0x7FFFFFFF
        counts[names[x % 2000]] += 1
    total = sum(counts[name] * (i + 1) for i, name in enumerate(names))
    print(total, counts["key0"], counts["key777"], counts["key1999"])
main()
