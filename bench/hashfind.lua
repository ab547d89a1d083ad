-- A hash! is a block with an index: a table with a second table from each
-- value to its first position stands for it.
local h = {}
local index = {}
for i = 1, 200000 do
    if index[i * 3] == nil then index[i * 3] = #h + 1 end
    h[#h + 1] = i * 3
end
local n = 0
for k = 1, 5 do
    for i = 1, 200000 do
        local pos = index[i * 3]
        n = n + pos % 7
    end
end
print(n)
