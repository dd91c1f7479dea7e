# Generates a random Kel program of loops over integers (for and while
# loops, nested, with ifs, break and continue; assignments, compound
# assignments, ++ and -- of locals; elements of local arrays read and
# written, some outside their spans; divisions that may be by 0; locals read
# before they are set) in a function with parameters, and prints its locals
# after. The seed is the only argument; tests/fuzz/compare runs them.
import random, sys
r = random.Random(int(sys.argv[1]))
names = ["a", "b", "c", "d", "e"]
counters = ["i", "j", "k"]
depth_names = {}

def value(depth=0):
    roll = r.random()
    if depth > 2 or roll < 0.35:
        return r.choice(names + counters + ["p", "q", str(r.choice([0, 1, 2, 3, 5, 7, 100, -3, 2147483647]))])
    if roll < 0.5:
        return "v[%s]" % value(depth + 1) if r.random() < 0.6 else "m[%s][%s]" % (value(depth + 1), value(depth + 1))
    if roll < 0.6:
        return r.choice(["-", "!", "~"]) + "(" + value(depth + 1) + ")"
    if roll < 0.68:
        return "(%s ? %s : %s)" % (value(depth + 1), value(depth + 1), value(depth + 1))
    op = r.choice(["+", "-", "*", "/", "%", "<<", ">>", "&", "|", "^", "<", "<=", ">", ">=", "==", "!=", "&&", "||"])
    return "(%s %s %s)" % (value(depth + 1), op, value(depth + 1))

def small(depth=0):  # a value that stays small, for indexes and bounds
    return "(%s & 7)" % value(depth + 1) if r.random() < 0.7 else str(r.randint(0, 9))

def simple(ind):
    p = "  " * ind
    target = r.choice(names)
    roll = r.random()
    if roll < 0.35: return p + "%s = %s;\n" % (target, value())
    if roll < 0.55: return p + "%s %s= %s;\n" % (target, r.choice(["+", "-", "*", "/", "%", "&", "|", "^", "<<", ">>"]), value())
    if roll < 0.65: return p + r.choice(["%s++;", "%s--;", "++%s;", "--%s;"]) % target + "\n"
    if roll < 0.8: return p + "v[%s] = %s;\n" % (small() if r.random() < 0.9 else "12", value())
    if roll < 0.9: return p + "m[%s][%s] = %s;\n" % (small(), small(), value())
    return p + r.choice(["break;", "continue;", ";"]) + "\n"

def statement(ind, level, roll=None):
    p = "  " * ind
    roll = r.random() if roll is None else roll
    if level >= 3 or roll < 0.45: return simple(ind)
    if roll < 0.65:
        out = p + "if (%s)\n" % value() + statement(ind + 1, level + 1)
        if r.random() < 0.5: out += p + "else\n" + statement(ind + 1, level + 1)
        return out
    counter = counters[level]
    body = "".join(statement(ind + 1, level + 1) for _ in range(r.randint(1, 3)))
    if roll < 0.85:
        return p + "for (%s = %s; %s < %d; %s++)\n" % (counter, r.choice(["0", "1", "a & 3"]), counter, r.randint(1, 12), counter) + p + "{\n" + body + p + "}\n"
    return (p + "%s = 0;\n" % counter + p + "while (%s < %d)\n" % (counter, r.randint(1, 8)) + p + "{\n" + p + "  %s++;\n" % counter + body + p + "}\n")

program = "run(p, q)\n{\n"
for i in range(8): program += "  v[%d] = %d;\n" % (i, r.randint(-5, 5))
for i in range(8):
    for j in range(8): program += "  m[%d][%d] = %d;\n" % (i, j, r.randint(-5, 5)) if r.random() < 0.3 else ""
program += "  for (i = 0; i < 8; i++) for (j = 0; j < 8; j++) m[i][j] += i * j;\n"
for name in names:
    if r.random() < 0.95: program += "  %s = %d;\n" % (name, r.randint(-9, 9))
if r.random() < 0.1: program += '  c = "text";\n'
program += statement(1, 0, r.uniform(0.65, 1.0))  # a loop first
program += "".join(statement(1, 0) for _ in range(r.randint(0, 2)))
program += '  printf("%d %d %d %d %d %d %d\\n", a, b, c, d, e, v[0] + v[3] + v[7], m[1][2] + m[7][7]);\n}\n'
program += "main()\n{\n  run(3, -4);\n  run(3, -4);\n}\n"
print(program)
