local n = 120
local a, b, c = {}, {}, {}
for i = 0, n - 1 do
  a[i], b[i], c[i] = {}, {}, {}
  for j = 0, n - 1 do
    a[i][j] = (i * 7 + j) % 10
    b[i][j] = (i + j * 3) % 10
  end
end
local sum = 0
for i = 0, n - 1 do
  for j = 0, n - 1 do
    local t = 0
    for k = 0, n - 1 do t = t + a[i][k] * b[k][j] end
    c[i][j] = t
    sum = (sum + t) % 1000003
  end
end
print(sum)
