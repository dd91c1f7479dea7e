local write, format = io.write, string.format
for i = 0, 199999 do write(format("%d %s %x %.2f\n", i, "line", i, i / 3.0)) end
