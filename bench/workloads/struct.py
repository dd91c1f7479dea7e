class Point:
    __slots__ = ("x", "y", "z")
    def __init__(self):
        self.x = 0
        self.y = 0
        self.z = 0
def main():
    p = Point()
    for i in range(1000000):
        p.x = p.x + 1
        p.y = (p.y + p.x) % 1000
        p.z = (p.z + p.y) % 1000003
    print(p.x, p.y, p.z)
main()
