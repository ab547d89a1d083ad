import os
import posixpath

paths = [f"/home/user/./a{i % 100}/../b{i % 37}//c{i}.txt" for i in range(1, 100001)]
n = 0
for p in paths:
    n += len(posixpath.normpath(p))
    n += len(os.path.split(p)[1])
print(n)
