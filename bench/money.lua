-- Amounts in integer cents.
local total = 0
local price = 125
for i = 1, 1000000 do
    total = total + price * (i % 7)
end
print(string.format("$%d.%02d000", total // 100, total % 100))
