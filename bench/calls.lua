-- The optional second argument stands for the refinement.
local function f(x, scale)
    if scale then return x * scale end
    return x + 1
end

local s = 0
for i = 1, 2000000 do
    local m = i % 100
    s = s + f(m, 3) + f(m)
end
print(s)
