local n = 1000000
local v, w = {}, {}
for i = 1, n do
    v[i] = 0
    w[i] = 0
end
for k = 1, 10 do
    for i = 1, n do v[i] = v[i] + 3 end
    for i = 1, n do v[i] = v[i] * 2 end
    for i = 1, n do v[i] = v[i] % 1000 end
    local sum = {}
    for i = 1, n do sum[i] = v[i] + w[i] end
    w = sum
end
print(v[n] .. " " .. w[n] .. " " .. w[1])
