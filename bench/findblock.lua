-- Lua has no search in a table: a plain scan stands for it.
local function find(t, v)
    for i = 1, #t do
        if t[i] == v then return i end
    end
    return nil
end

local b = {}
for i = 1, 1000000 do
    b[i] = i
end
local n = 0
for k = 1, 50 do
    -- 0-based position, as Python's index
    n = n + (find(b, 1000000 - k) - 1) % 7
end
print(n)
