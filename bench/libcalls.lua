local function first(s) return s[1] end
local function last(s) return s[#s] end
local function is_empty(s) return #s == 0 end
local function is_block(v) return type(v) == "table" end
local function pad(s, n)
    if #s < n then return s .. string.rep(" ", n - #s) end
    return s
end
local function mod(a, b) return a % math.abs(b) end

local b = {1, 2, 3}
local s = "ab"
local n = 0
for i = 1, 1000000 do
    n = n + first(b) + last(b) + mod(i - 500000, 7)
    if is_empty(s) then n = n + 1 end
    if is_block(b) then n = n + 1 end
    n = n + #pad(s, 4)
    n = n % 1000000
end
print(n)
