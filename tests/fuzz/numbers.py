# Generates a random Kel program of assignments and "op=" on numbers of
# every kind (bytes, integers, floats) held in locals, members of a local
# structure, globals and parameters, with values made of those and of
# constants, inside a loop; some divide by zero or change a variable's kind
# on the way. It prints every variable as it ends. The seed is the only
# argument; tests/fuzz/compare runs them.
import random, sys
r = random.Random(int(sys.argv[1]))
places = ["a", "b", "c", "s.x", "s.y", "g", "p"]
constants = ["1", "3", "7", "255", "2.5", "0.125", "-4", "1e3", "'z'", "2147483647", "1.5", "9"]
compound = ["+=", "-=", "*=", "+=", "-=", "*=", "+=", "-=", "/=", "%="]
binary = ["+", "-", "*", "+", "-", "*", "/", "<", "=="]

def value(depth):
    if depth > 2 or r.random() < 0.4:
        return r.choice(places + constants + ["i"])
    return "(%s %s %s)" % (value(depth + 1), r.choice(binary), value(depth + 1))

def statement():
    place = r.choice(places)
    roll = r.random()
    if roll < 0.4: return "%s = %s;" % (place, value(0))
    if roll < 0.85: return "%s %s %s;" % (place, r.choice(compound), value(0))
    if roll < 0.95: return "%s%s;" % (place, r.choice(["++", "--"]))
    return "%s = \"text\";" % place

body = "\n".join("    " + statement() for _ in range(r.randint(2, 8)))
start = lambda: r.choice(["1", "2.5", "'a'", "-3", "0.5", "7"])
print("g = %s;\nf(p)\n{\n  a = %s; b = %s; c = %s; s.x = %s; s.y = %s;\n"
      "  for (i = 0; i < %d; i++) {\n%s\n  }\n"
      "  show(a); show(b); show(c); show(s.x); show(s.y); show(g); show(p);\n}\n"
      "show(v)\n{\n  printf(\"%%d %%.4f|\", DataType(v), v);\n}\n"
      "main()\n{\n  f(%s);\n}" % (start(), start(), start(), start(), start(), start(), r.randint(1, 6), body, start()))
