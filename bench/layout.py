# layout: the same 1,000 widgets as layout.kiv (button, label, entry, check
# button, scale in turn, texts "Item N", ten a row) built 10 times in a
# withdrawn Tk toplevel; update_idletasks computes every requested size.
import tkinter

root = tkinter.Tk()
root.withdraw()
KINDS = [
    lambda parent, text: tkinter.Button(parent, text=text),
    lambda parent, text: tkinter.Label(parent, text=text),
    lambda parent, text: tkinter.Entry(parent),
    lambda parent, text: tkinter.Checkbutton(parent, text=text),
    lambda parent, text: tkinter.Scale(parent, orient=tkinter.HORIZONTAL),
]
for _ in range(10):
    top = tkinter.Toplevel(root)
    top.withdraw()
    for i in range(1000):
        widget = KINDS[i % 5](top, "Item %d" % (i + 1))
        widget.grid(row=i // 10, column=i % 10, padx=5, pady=5)
    top.update_idletasks()
    size = (top.winfo_reqwidth(), top.winfo_reqheight())
    count = len(top.winfo_children())
    top.destroy()
print("10 x %d faces" % count)
