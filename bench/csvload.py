import csv
from pathlib import Path

with open(Path(__file__).resolve().parent / "data" / "table.csv", encoding="utf-8",
          newline="") as f:
    rows = list(csv.reader(f))
print(len(rows), len(rows[-1]), rows[0][19])
