# view: the same 500 widgets as view.kiv (button, label, entry, check
# button, scale in turn, 48x28, 25 a row 50 apart and rows 30 apart) placed
# in a 1250x600 Tk window that is shown and updated until idle; then 1,000
# synthetic presses (event_generate) to the widgets, whose one shared
# binding counts them; then the window destroyed. Prints the milliseconds
# of each phase as view.kiv does. VIEW_FACES sets another number of
# widgets (for the memory per widget).
import os
import time
import tkinter

KINDS = [
    lambda parent: tkinter.Button(parent, text="w"),
    lambda parent: tkinter.Label(parent, text="w"),
    lambda parent: tkinter.Entry(parent),
    lambda parent: tkinter.Checkbutton(parent, text="w"),
    lambda parent: tkinter.Scale(parent, orient=tkinter.HORIZONTAL),
]
count = 0
total = int(os.environ.get("VIEW_FACES", "500"))


def on_down(event):
    global count
    count += 1


def ms(a, b):
    return round((b - a) * 1000, 1)


t0 = time.perf_counter()
root = tkinter.Tk()
root.title("view")
root.geometry("1250x600+0+0")
widgets = []
for i in range(total):
    widget = KINDS[i % 5](root)
    widget.place(x=i % 25 * 50, y=i // 25 * 30, width=48, height=28)
    widget.bind("<ButtonPress-1>", on_down)
    widgets.append(widget)
root.update()
t1 = time.perf_counter()
for i in range(1000):
    widgets[i % total].event_generate("<ButtonPress-1>", x=1, y=1)
root.update()
t2 = time.perf_counter()
root.destroy()
t3 = time.perf_counter()
print("view", count, "show", ms(t0, t1), "events", ms(t1, t2), "close", ms(t2, t3))
