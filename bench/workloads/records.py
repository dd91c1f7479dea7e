import struct
def main():
    layout = struct.Struct("<id16s")
    parts = []
    for i in range(100000):
        parts.append(layout.pack(i % 5000 + 1, i / 7, f"item{i}".encode()))
    data = b"".join(parts)
    ids = 0
    values = 0.0
    letters = 0
    for id_, value, name in layout.iter_unpack(data):
        ids += id_
        values += value
        letters += len(name.rstrip(b"\0"))
    print(len(data) // layout.size, layout.size, ids, f"{values:.3f}", letters)
main()
