local function fail(i)
    error("division by zero: " .. i)
end

local n = 0
for i = 1, 1000000 do
    if not pcall(fail, i) then
        n = n + 1
    end
end
print(n)
