local data = {}
for i = 1, 1000000 do
    data[#data + 1] = i % 100
end
local s = 0
for _ = 1, 15 do
    for _, x in ipairs(data) do
        s = s + x
    end
end
print(s)
