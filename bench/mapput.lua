local m = {}
for i = 1, 200000 do
    m[i] = i * 2
    m[tostring(i)] = i
end
local n = 0
for i = 1, 200000 do
    n = n + m[i] % 7 + m[tostring(i)] % 7
end
print(n)
