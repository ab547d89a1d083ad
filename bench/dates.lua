-- Dates as os.time values at noon (normalised by os.time), weekdays from
-- os.date, differences in whole days.
local base = os.time({year = 2000, month = 1, day = 1, hour = 12})
local s = 0
for i = 1, 1000000 do
    local d = os.time({year = 2000, month = 1, day = 1 + i % 10000, hour = 12})
    local wday = os.date("*t", d).wday
    s = s + (wday + 5) % 7 + 1 + math.floor(os.difftime(d, base) / 86400 + 0.5) % 7
end
print(s)
