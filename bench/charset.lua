local line = "The quick brown fox jumps over the lazy dog; pack my box with five dozen liquor jugs!\n"
local text = string.rep(line, 116279)
local letter = {}
for c = string.byte("a"), string.byte("z") do letter[c] = true end
for c = string.byte("A"), string.byte("Z") do letter[c] = true end
local words, inside = 0, false
for i = 1, #text do
    if letter[text:byte(i)] then
        if not inside then
            words = words + 1
            inside = true
        end
    else
        inside = false
    end
end
print(#text, words)
