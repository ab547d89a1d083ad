local s = string.rep("abcdefghij", 100000) .. "needle"
local n = 0
for _ = 1, 1000 do
    n = n + (string.find(s, "needle", 1, true) - 1) % 7
end
print(n)
