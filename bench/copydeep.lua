-- Lua has no deep copy: a recursive copy of nested tables stands for it.
local function deepcopy(t)
    local c = {}
    for i = 1, #t do
        local v = t[i]
        if type(v) == "table" then v = deepcopy(v) end
        c[i] = v
    end
    return c
end

local data = {}
for i = 1, 1000 do
    local row = {}
    for j = 1, 100 do
        row[j] = {i, j, i + j}
    end
    data[i] = row
end
local n = 0
for _ = 1, 3 do
    local c = deepcopy(data)
    n = n + c[1000][100][3]
end
print(n)
