local failed = 0
for i = 1, 2000 do
    if not os.execute("true") then failed = failed + 1 end
end
print(failed)
