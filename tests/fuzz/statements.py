# Generates a random Kel program (loops, branches, switches, break and
# continue, gotos with their labels (present or missing), errors of form in
# code that runs or is passed over, text assigned to a variable that loop
# conditions pass to a built-in) from the seed given as the only argument;
# tests/fuzz/compare runs them.
import random, sys
r = random.Random(int(sys.argv[1]))
n = [0]
def leaf(inloop, ind):
    p = "  " * ind
    opts = ['v = "s";', "w = 1;", "t++;", "{ t++; }", ";"]
    if inloop: opts += ["break;", "continue;"]
    if r.random() < 0.3:
        opts += ["if (++g < 4) goto L%d;" % r.randint(1, 4), "L%d: t++;" % r.randint(1, 3),
                 "w = (1 + );", "w = t.;", "if (t %% 2 == %d) break;" % r.randint(0, 1)]
    return p + r.choice(opts) + "\n"
def stmt(depth, inloop, ind):
    p = "  " * ind
    k = r.randint(0, 7 if depth < 4 else 0)
    if k <= 1: return leaf(inloop, ind)
    if k <= 3:
        out = p + "if (t %% %d == %d)\n" % (r.randint(2, 4), r.randint(0, 2)) + stmt(depth + 1, inloop, ind + 1)
        if r.random() < 0.7: out += p + "else\n" + stmt(depth + 1, inloop, ind + 1)
        return out
    n[0] += 1; v = "q%d" % n[0]
    if k == 4:
        return p + "for (%s = 0; isalpha(v) * 0 + %s < %d; %s++)\n" % (v, v, r.randint(1, 4), v) + stmt(depth + 1, True, ind + 1)
    if k == 7:
        out = p + "switch (t %% %d)\n" % r.randint(2, 4) + p + "{\n"
        for c in r.sample(range(4), r.randint(1, 3)):
            out += p + ("default:\n" if c == 3 else "case %d:\n" % c) + stmt(depth + 1, inloop, ind + 1)
            if r.random() < 0.5: out += p + "  break;\n"
        return out + p + "}\n"
    if k == 5:
        return p + "{\n" + p + "%s = 0;\n" % v + p + "while (++%s < %d + isalpha(v) * 0 + isalpha(v) * 0)\n" % (v, r.randint(2, 5)) + stmt(depth + 1, True, ind + 1) + p + "}\n"
    return p + "{\n" + p + "%s = 0;\n" % v + p + "do\n" + stmt(depth + 1, True, ind + 1) + p + "while (++%s < %d + isalpha(v) * 0 + isalpha(v) * 0);\n" % (v, r.randint(2, 5)) + p + "}\n"
body = "".join(stmt(0, False, 1) for _ in range(r.randint(1, 4)))
print("f()\n{\n  v = 1;\n  t = 0;\n  g = 0;\n" + body + "  return t + isalpha(v);\n}\nmain()\n{\n  printf(\"%d\\n\", f());\n}")
