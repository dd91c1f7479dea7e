# Generates a random Kel program of integer functions without effects (ifs,
# returns, integer operators, && || ?: and calls of one another, recursion
# with a bound) and a main that prints their values for chosen arguments:
# some overflow, divide by zero, leave a parameter out or pass a number with
# a fraction. The seed is the only argument;
# tests/fuzz/compare runs them.
import random, sys
r = random.Random(int(sys.argv[1]))
count = r.randint(2, 5)
ops = ["+", "-", "*", "/", "%", "<<", ">>", "&", "|", "^", "<", "<=", ">", ">=", "==", "!=", "&&", "||"]

def expr(k, params, depth):
    roll = r.random()
    if depth > 3 or roll < 0.3:
        if r.random() < 0.6: return r.choice(params)
        return str(r.choice([0, 1, 2, 3, 7, 31, 1000, 2147483647, -5]))
    if roll < 0.45: return r.choice(["-", "!", "~", "+"]) + "(" + expr(k, params, depth + 1) + ")"
    if roll < 0.55:
        return "(%s ? %s : %s)" % (expr(k, params, depth + 1), expr(k, params, depth + 1), expr(k, params, depth + 1))
    if roll < 0.7 and k > 0:
        callee = r.randint(0, k - 1)
        return "f%d(%s)" % (callee, ", ".join(expr(k, params, depth + 1) for _ in range(2)))
    return "(%s %s %s)" % (expr(k, params, depth + 1), r.choice(ops), expr(k, params, depth + 1))

def function(k):
    params = ["a", "b"]
    body = ""
    if r.random() < 0.5:  # recursion with a bound: a falls to 0 (how deep running
        # out of stack is met differs between builds, so it stays shallow)
        body += "  if (a <= 0 || a > 300) return %s;\n" % expr(k, params, 2)
        body += "  if (b %% 3 == 1) return f%d(a - 1, %s) + 1;\n" % (k, expr(k, params, 2))
    if r.random() < 0.4:
        body += "  if (%s)\n  {\n    return %s;\n  }\n  else if (%s) return %s;\n" % (
            expr(k, params, 1), expr(k, params, 1), expr(k, params, 1), expr(k, params, 1))
    body += "  return %s;\n" % expr(k, params, 0)
    return "f%d(a, b)\n{\n%s}\n" % (k, body)

program = "".join(function(k) for k in range(count))
program += "main()\n{\n"
for _ in range(r.randint(2, 6)):
    k = r.randint(0, count - 1)
    a = r.choice(["3", "10", "0", "-4", "100000", "2.5", "7"])
    args = a if r.random() < 0.1 else a + ", " + r.choice(["1", "4", "-2", "0", "2147483647"])
    # (the first call of a function compiles it; the second may take the
    # path of integer functions)
    program += '  printf("%%d %%d\\n", f%d(%s), f%d(%s));\n' % (k, args, k, args)
program += "}\n"
print(program)
