-- error with a non-string value and pcall are Lua's throw and catch.
local function body(v)
    error(v)
end

local s = 0
for i = 1, 1000000 do
    local _, v = pcall(body, i % 10)
    s = s + v
end
print(s)
