local p = {x = 0, y = 0, z = 0}
for i = 1, 1000000 do
  p.x = p.x + 1
  p.y = (p.y + p.x) % 1000
  p.z = (p.z + p.y) % 1000003
end
print(string.format("%d %d %d", p.x, p.y, p.z))
