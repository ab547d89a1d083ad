"""Kiv scripts that show a window under GTK and judge what the X server
shows of it: the script prints "ready SCALE" once its window is drawn,
then reads the path of a screenshot of that window from its input and
prints its findings."""
import os
import re
import shutil
import subprocess
import tempfile


def window_geometry(title):
    """The screen rectangle (x, y, width, height) of the window titled so."""
    info = subprocess.run(["xwininfo", "-name", title], capture_output=True, text=True).stdout
    field = lambda name: int(re.search(name + r":\s+(-?\d+)", info).group(1))
    return (field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
            field("Height"))


def run_with_shot(kiv, script_text, title):
    """Runs the script (KIV_GUI=gtk) in a folder made for the run, hands it
    the screenshot of its window once it is ready, and answers (scale,
    output, errors, status); scale is None when the window never showed."""
    folder = tempfile.mkdtemp(prefix="kiv-window-shot-")
    try:
        script = os.path.join(folder, "window.kiv")
        with open(script, "w") as f:
            f.write(script_text)
        env = dict(os.environ, KIV_GUI="gtk")
        proc = subprocess.Popen([kiv, script], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True, env=env)
        ready = proc.stdout.readline().split()
        if len(ready) != 2 or ready[0] != "ready":
            proc.kill()
            out, err = proc.communicate(timeout=30)
            return None, " ".join(ready) + out, err, proc.returncode
        x, y, w, h = window_geometry(title)
        shot = os.path.join(folder, "shot.png")
        subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage",
                        shot], check=True)
        out, err = proc.communicate(shot + "\n", timeout=120)
        return float(ready[1]), out, err, proc.returncode
    finally:
        shutil.rmtree(folder, ignore_errors=True)
