"""Two linked pseudo-terminals, like a null-modem cable: what one end's program
writes the other end's program reads. Their slave paths become the links given.

usage: pty_pair.py LINK_A LINK_B SECONDS  -- prints "ready" once both links exist.
"""
import os
import pty
import select
import sys
import time
import tty

ends = [pty.openpty(), pty.openpty()]
for (_, slave), link in zip(ends, sys.argv[1:3]):
    tty.setraw(slave)
    if os.path.lexists(link):
        os.unlink(link)
    os.symlink(os.ttyname(slave), link)
print("ready", flush=True)
a, b = ends[0][0], ends[1][0]
end = time.monotonic() + float(sys.argv[3])
while time.monotonic() < end:
    ready, _, _ = select.select([a, b], [], [], 0.1)
    for source, target in ((a, b), (b, a)):
        if source in ready:
            try:
                os.write(target, os.read(source, 4096))
            except OSError:
                pass
