"""Desktops on a private Xvfb screen: mutter and KWin as X11 window managers, and twm."""

from desktop import redirect_held, start_xvfb, wait_for

from .sessions import SCREEN, Session, frame_picture


class XvfbSession(Session):
    """A window manager on a private Xvfb screen."""
    wm_command = []

    def start(self):
        xvfb, number = start_xvfb(*SCREEN)
        self.procs.append(xvfb)
        self.display = f":{number}"
        self.env["DISPLAY"] = self.display
        self.set_xft_dpi()
        self.start_session_bus()
        self.wait_window_manager(self.spawn(self.wm_command, env=self.wm_env()), self.title)

    def wm_env(self):
        return self.env


class MutterX11(XvfbSession):
    name, title = "mutter-x11", "mutter --x11 on Xvfb"
    wm_command = ["mutter", "--x11", "--replace"]

    # NOTE: mutter composites; the root window holds none of it, but each frame is an X window
    # whose own picture is its title bar.
    def title_bar(self, window, path):
        return frame_picture(self, window, path)


class KwinX11(XvfbSession):
    name, title = "kwin-x11", "kwin_x11 on Xvfb"
    wm_command = ["kwin_x11", "--replace"]
    dpis = (96, 144)

    def wm_env(self):
        # Without compositing the root window shows what the screen shows.
        return dict(self.env, KWIN_COMPOSE="N")


class Twm(XvfbSession):
    """A window manager that frames windows and sets no _NET_FRAME_EXTENTS, nor any EWMH."""
    name, title = "twm", "twm on Xvfb (no frame extents)"
    wm_command = ["twm"]

    def wait_window_manager(self, proc, what):
        def ready():
            if proc.poll() is not None:
                raise AssertionError(f"{what} ended with {proc.returncode}")
            return redirect_held(self.display)
        wait_for(ready, what=what)
