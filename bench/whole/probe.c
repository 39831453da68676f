// probe: starts one program and times it from outside, on one monotonic
// clock, through what the X server and the kernel report:
//   - a window is "shown" when it is mapped and its first drawing reaches the
//     server (XDamage), seen through SubstructureNotify on the root window;
//     it has "settled" at its last drawing before 150 ms without any (work
//     put off until after the first drawing shows there);
//   - keys are sent with XTest, straight from this process;
//   - names on disk are counted as IN_MOVED_TO events of inotify, armed
//     before the key is sent;
//   - a close request is the WM_DELETE_WINDOW message a window manager sends;
//   - the end of the process is its pidfd turning readable, and wait4 gives
//     its peak memory (ru_maxrss).
// Results are printed as key=value lines, times in milliseconds. The exit
// status is 0 when every step was seen, 3 when the program did not do its
// part (it put up another window, such as a message box; it stopped moving
// names before the last; it ended early), 1 when the probe could not watch.
//
// Usage: probe [OPTIONS] MODE ARGS... -- PROGRAM [ARGUMENTS...]
//   window TITLE                start, shown, settle, close, exit
//   steps  TITLE FOLDER COUNT   start, shown, settle, menu ALT+F, key R,
//                               COUNT names moved into FOLDER, settle,
//                               menu ALT+N, key A (a rule preset: every new
//                               name made again), settled, close
//   whole  TITLE FOLDER COUNT   the same without settling: start to exit
//   floor  FOLDER COUNT         PROGRAM prints "ready" and waits for a byte
//                               on its standard input; that byte is the
//                               trigger, then COUNT names moved
//   run                         start to exit (a command-line program)
//   poll   TITLE                shown as seen here, against
//                               `xdotool search --sync --onlyvisible --name`
// Options: --log FILE (the program's output), --settle MS (500: the idle
//          time between steps), --timeout MS (60000, for each step),
//          --stall MS (10000: names stopped moving), --hook CMD (run as
//          `CMD PHASE PID` at the phases started, shown, menu, renamed,
//          refreshed, closing; for profilers), --xserver PID (also report
//          the X server's CPU time per phase), --busy FILE (a number that
//          is above 0 while the program waits on its medium, such as the
//          FUSE connection's "waiting": the window has not settled then).
// Beside each wall time, the CPU time the program used in that phase (all
// its threads, from /proc/PID/task/*/schedstat).
// A window's TITLE matches its _NET_WM_NAME or WM_NAME exactly or as the
// text before " — ".
#define _GNU_SOURCE
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <X11/keysym.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "NowMs.h"

#ifndef SYS_pidfd_open
#define SYS_pidfd_open 434
#endif

// --- clock, failure ---

typedef struct Child {
  pid_t pid;
  int pidfd;
  int done;
  double start;  // just before fork
  double end;    // pidfd readable, reaped
  int status;
  struct rusage usage;
} Child;

static Child program = {.pid = -1, .pidfd = -1};
static Child poller = {.pid = -1, .pidfd = -1};

// Says why, takes the children down with the probe, and ends with `status`.
static void Quit(int status, const char* format, va_list args) {
  fprintf(stderr, "probe: ");
  vfprintf(stderr, format, args);
  fprintf(stderr, "\n");
  if (program.pid > 0 && !program.done) kill(program.pid, SIGKILL);
  if (poller.pid > 0 && !poller.done) kill(poller.pid, SIGKILL);
  exit(status);
}

static void Fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Quit(1, format, args);
}

// The program did not do its part: trying again would see the same.
static void Stop(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Quit(3, format, args);
}

// CPU time used so far by all threads of a process, from the scheduler's
// own nanosecond count (/proc/PID/task/*/schedstat); -1 when unknown. Unlike
// wall time it does not grow while the process waits for a busy CPU. A
// thread that has ended still counts with what it used when last seen: its
// time leaving the sum would make a busy program look idle.
struct SeenThread {
  pid_t pid;
  long tid;
  double ms;
};
static struct SeenThread seen[1024];
static int seenCount;

static double CpuMs(pid_t pid) {
  if (pid <= 0) return -1;
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/task", (int)pid);
  DIR* tasks = opendir(path);
  if (tasks == NULL) return -1;
  double unrecorded = 0;
  for (struct dirent* task; (task = readdir(tasks)) != NULL;) {
    if (task->d_name[0] == '.') continue;
    char stat[320];
    snprintf(stat, sizeof stat, "/proc/%d/task/%s/schedstat", (int)pid, task->d_name);
    FILE* f = fopen(stat, "r");
    unsigned long long ns = 0;
    if (f == NULL) continue;
    const int read = fscanf(f, "%llu", &ns);
    fclose(f);
    if (read != 1) continue;
    const long tid = atol(task->d_name);
    int i = 0;
    while (i < seenCount && (seen[i].pid != pid || seen[i].tid != tid)) ++i;
    if (i == seenCount && seenCount == (int)(sizeof seen / sizeof seen[0])) {
      unrecorded += ns / 1e6;  // a full table: counted while it lives
      continue;
    }
    if (i == seenCount) seen[seenCount++] = (struct SeenThread){pid, tid, 0};
    if (ns / 1e6 > seen[i].ms) seen[i].ms = ns / 1e6;
  }
  closedir(tasks);
  double total = unrecorded;
  for (int i = 0; i < seenCount; ++i)
    if (seen[i].pid == pid) total += seen[i].ms;
  return total;
}

// --- options ---

static const char* logPath = "/dev/null";
static double settleMs = 500;
static double timeoutMs = 60000;
static double stallMs = 10000;
static const char* hook = NULL;
static pid_t xserver = -1;  // --xserver PID: its CPU time is reported too
static const char* busyPath = NULL;

// A program waiting on a slow medium uses no CPU and may draw nothing for a
// long while; the medium's count of calls in progress tells it from idle.
static int MediumBusy(void) {
  if (busyPath == NULL) return 0;
  const int fd = open(busyPath, O_RDONLY | O_CLOEXEC);
  char text[32] = "";
  const ssize_t n = fd >= 0 ? read(fd, text, sizeof text - 1) : -1;
  if (fd >= 0) close(fd);
  // Unread, a busy medium would pass for one at rest.
  if (n <= 0) Fail("cannot read %s", busyPath);
  return atol(text) > 0;
}

// --- X state ---

static Display* dpy;
static Window root;
static int damageEvent;
static Atom netWmName, utf8String, wmProtocols, wmDeleteWindow;
static KeyCode keyAlt, keyF, keyR, keyN, keyA;

typedef struct Tracked {
  Window window;
  int overrideRedirect;
  int mapped;
  double mapTime;
  double firstDamage;  // first drawing since the last map
  double lastDamage;
  long damageCount;  // drawings since the last reset
} Tracked;

static Tracked windows[512];
static int windowCount;
static const char* wantedTitle;
static Tracked* target;  // the program's main window once mapped

static Tracked* Find(Window w) {
  for (int i = 0; i < windowCount; ++i)
    if (windows[i].window == w) return &windows[i];
  return NULL;
}

static int IgnoreErrors(Display* d, XErrorEvent* e) {
  (void)d;
  (void)e;
  return 0;  // windows come and go while they are looked at
}

static Tracked* Track(Window w, int overrideRedirect) {
  Tracked* t = Find(w);
  if (t != NULL) return t;
  if (windowCount == (int)(sizeof windows / sizeof windows[0])) return NULL;
  t = &windows[windowCount++];
  memset(t, 0, sizeof *t);
  t->window = w;
  t->overrideRedirect = overrideRedirect;
  XDamageCreate(dpy, w, XDamageReportRawRectangles);
  return t;
}

// The window's title (UTF-8) into `out`; empty when it has none.
static void TitleOf(Window w, char* out, size_t size) {
  char* text = NULL;
  Atom type;
  int format;
  unsigned long items, after;
  unsigned char* data = NULL;
  if (XGetWindowProperty(dpy, w, netWmName, 0, 1024, False, utf8String, &type, &format, &items,
                         &after, &data) == Success &&
      data != NULL && items > 0) {
    text = (char*)data;
  } else {
    if (data != NULL) XFree(data);
    data = NULL;
    XTextProperty prop;
    if (XGetWMName(dpy, w, &prop) && prop.value != NULL) data = prop.value;
    text = (char*)data;
  }
  snprintf(out, size, "%s", text != NULL ? text : "");
  if (data != NULL) XFree(data);
}

static int TitleMatches(Window w) {
  char text[1024];
  TitleOf(w, text, sizeof text);
  const size_t n = strlen(wantedTitle);
  return strncmp(text, wantedTitle, n) == 0 &&
         (text[n] == '\0' || strncmp(text + n, " \xe2\x80\x94 ", 5) == 0);
}

// PROBE_TRACE=1 in the environment prints every window event to stderr.
static int tracing;
static double traceOrigin;

static void Trace(const char* what, Window w, const char* detail) {
  if (tracing)
    fprintf(stderr, "trace %9.2f %-7s 0x%lx %s\n", NowMs() - traceOrigin, what, (unsigned long)w,
            detail);
}

// With tracing, the moments that the results are made of, on the absolute
// monotonic clock (as `perf record -k CLOCK_MONOTONIC` stamps its samples).
static void Mark(const char* what, double at) {
  if (tracing) fprintf(stderr, "mark %s %.3f\n", what, at);
}

static void HandleX(XEvent* ev, double now) {
  char detail[128] = "";
  if (ev->type == CreateNotify) {
    if (ev->xcreatewindow.parent == root)
      Track(ev->xcreatewindow.window, ev->xcreatewindow.override_redirect);
    snprintf(detail, sizeof detail, "%dx%d%s", ev->xcreatewindow.width, ev->xcreatewindow.height,
             ev->xcreatewindow.override_redirect ? " override" : "");
    Trace("create", ev->xcreatewindow.window, detail);
  } else if (ev->type == MapNotify) {
    Tracked* t = Find(ev->xmap.window);
    Trace("map", ev->xmap.window, "");
    if (t == NULL) return;
    t->mapped = 1;
    t->mapTime = now;
    t->firstDamage = 0;
    if (target == NULL && wantedTitle != NULL && !t->overrideRedirect && TitleMatches(t->window))
      target = t;
  } else if (ev->type == UnmapNotify) {
    Tracked* t = Find(ev->xunmap.window);
    Trace("unmap", ev->xunmap.window, "");
    if (t != NULL) t->mapped = 0;
  } else if (ev->type == damageEvent + XDamageNotify) {
    const XDamageNotifyEvent* d = (const XDamageNotifyEvent*)ev;
    Tracked* t = Find(d->drawable);
    snprintf(detail, sizeof detail, "%dx%d+%d+%d%s", d->area.width, d->area.height, d->area.x,
             d->area.y, t != NULL && t->mapped ? "" : " (unmapped)");
    Trace("damage", d->drawable, detail);
    if (t == NULL || !t->mapped) return;
    if (t->firstDamage == 0) t->firstDamage = now;
    t->lastDamage = now;
    ++t->damageCount;
  }
}

static void OpenDisplay(void) {
  tracing = getenv("PROBE_TRACE") != NULL;
  traceOrigin = NowMs();
  dpy = XOpenDisplay(NULL);
  if (dpy == NULL) Fail("cannot open the display (DISPLAY=%s)", getenv("DISPLAY"));
  XSetErrorHandler(IgnoreErrors);
  root = DefaultRootWindow(dpy);
  int damageError, major, minor, xtestEvent, xtestError;
  if (!XDamageQueryExtension(dpy, &damageEvent, &damageError))
    Fail("the X server has no DAMAGE extension");
  if (!XTestQueryExtension(dpy, &xtestEvent, &xtestError, &major, &minor))
    Fail("the X server has no XTEST extension");
  netWmName = XInternAtom(dpy, "_NET_WM_NAME", False);
  utf8String = XInternAtom(dpy, "UTF8_STRING", False);
  wmProtocols = XInternAtom(dpy, "WM_PROTOCOLS", False);
  wmDeleteWindow = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
  keyAlt = XKeysymToKeycode(dpy, XK_Alt_L);
  keyF = XKeysymToKeycode(dpy, XK_f);
  keyR = XKeysymToKeycode(dpy, XK_r);
  keyN = XKeysymToKeycode(dpy, XK_n);
  keyA = XKeysymToKeycode(dpy, XK_a);
  if (keyAlt == 0 || keyF == 0 || keyR == 0 || keyN == 0 || keyA == 0)
    Fail("the keyboard map lacks Alt_L, f, r, n or a");
  XSelectInput(dpy, root, SubstructureNotifyMask);
  // The pointer rests in a corner, away from any window, so that no hover
  // (status hints, tooltips) happens during a measurement.
  const Screen* screen = DefaultScreenOfDisplay(dpy);
  XWarpPointer(dpy, None, root, 0, 0, 0, 0, WidthOfScreen(screen) - 1, HeightOfScreen(screen) - 1);
  XSync(dpy, False);
}

// --- inotify ---

static int inotifyFd = -1;
static long moves, movesWanted;
static double movesDone, lastMove;

static void WatchFolder(const char* folder) {
  inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotifyFd < 0 || inotify_add_watch(inotifyFd, folder, IN_MOVED_TO) < 0)
    Fail("cannot watch %s: %s", folder, strerror(errno));
}

static void ArmMoves(long wanted) {
  moves = 0;
  movesWanted = wanted;
  movesDone = 0;
  lastMove = 0;
}

static void ReadInotify(double now) {
  char buffer[65536] __attribute__((aligned(__alignof__(struct inotify_event))));
  for (;;) {
    const ssize_t n = read(inotifyFd, buffer, sizeof buffer);
    if (n <= 0) return;
    for (char* p = buffer; p < buffer + n;) {
      const struct inotify_event* e = (const struct inotify_event*)p;
      if (e->mask & IN_Q_OVERFLOW)
        Fail("the inotify queue overflowed (raise /proc/sys/fs/inotify/max_queued_events)");
      if (e->mask & IN_MOVED_TO) {
        ++moves;
        lastMove = now;
        if (movesWanted > 0 && moves == movesWanted && movesDone == 0) movesDone = now;
      }
      p += sizeof *e + e->len;
    }
  }
}

// --- children ---

static void Reap(Child* c, double now) {
  if (c->done) return;
  if (wait4(c->pid, &c->status, 0, &c->usage) == c->pid) {
    c->done = 1;
    c->end = now;
  }
}

static void Spawn(Child* c, char** argv, int stdinFd, int stdoutFd) {
  const int log = open(logPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (log < 0) Fail("cannot open %s", logPath);
  c->start = NowMs();
  c->pid = fork();
  if (c->pid < 0) Fail("fork: %s", strerror(errno));
  if (c->pid == 0) {
    dup2(stdinFd >= 0 ? stdinFd : open("/dev/null", O_RDONLY), 0);
    dup2(stdoutFd >= 0 ? stdoutFd : log, 1);
    dup2(log, 2);
    execvp(argv[0], argv);
    fprintf(stderr, "probe: cannot run %s: %s\n", argv[0], strerror(errno));
    _exit(127);
  }
  close(log);
  c->pidfd = (int)syscall(SYS_pidfd_open, c->pid, 0);
  if (c->pidfd < 0) Fail("pidfd_open: %s", strerror(errno));
}

// --- the event loop ---

// Handles whatever arrives within `waitMs` (or none when negative: blocks).
static void Pump(double waitMs) {
  while (XPending(dpy)) {
    XEvent ev;
    XNextEvent(dpy, &ev);
    HandleX(&ev, NowMs());
  }
  struct pollfd fds[4];
  int n = 0;
  fds[n++] = (struct pollfd){ConnectionNumber(dpy), POLLIN, 0};
  const int inotifyAt = inotifyFd >= 0 ? n : -1;
  if (inotifyFd >= 0) fds[n++] = (struct pollfd){inotifyFd, POLLIN, 0};
  const int programAt = program.pidfd >= 0 && !program.done ? n : -1;
  if (programAt >= 0) fds[n++] = (struct pollfd){program.pidfd, POLLIN, 0};
  const int pollerAt = poller.pidfd >= 0 && !poller.done ? n : -1;
  if (pollerAt >= 0) fds[n++] = (struct pollfd){poller.pidfd, POLLIN, 0};
  if (poll(fds, (nfds_t)n, waitMs < 0 ? -1 : (int)(waitMs + 0.999)) <= 0) return;
  const double now = NowMs();
  if (inotifyAt >= 0 && (fds[inotifyAt].revents & POLLIN)) ReadInotify(now);
  if (programAt >= 0 && fds[programAt].revents) Reap(&program, now);
  if (pollerAt >= 0 && fds[pollerAt].revents) Reap(&poller, now);
  if (fds[0].revents & POLLIN) {
    XEventsQueued(dpy, QueuedAfterReading);
    while (XPending(dpy)) {
      XEvent ev;
      XNextEvent(dpy, &ev);
      HandleX(&ev, now);
    }
  }
}

typedef int (*Condition)(void);

static int ProgramEnded(void) { return program.done; }
static int AllMoved(void) { return movesDone > 0; }

// Another ordinary top-level window drawn since the main window showed: a
// message box (or any window) that waits for the user, where the program
// should have gone on by itself. Menus and tooltips are override-redirect.
static void StopOnOtherWindow(const char* what) {
  if (target == NULL) return;
  for (int i = 0; i < windowCount; ++i) {
    const Tracked* t = &windows[i];
    if (t == target || t->overrideRedirect || !t->mapped || t->firstDamage == 0 ||
        t->mapTime < target->mapTime)
      continue;
    char title[1024], moved[64] = "";
    TitleOf(t->window, title, sizeof title);
    if (movesWanted > 0)
      snprintf(moved, sizeof moved, " (%ld of %ld names moved)", moves, movesWanted);
    Stop("the program put up another window, \"%s\" (a message box?), while waiting for %s%s",
         title, what, moved);
  }
}

static void WaitFor(Condition done, const char* what) {
  const double deadline = NowMs() + timeoutMs;
  while (!done()) {
    if (program.done && done != ProgramEnded)
      Stop("the program ended (%s %d) while waiting for %s",
           WIFEXITED(program.status) ? "status" : "signal",
           WIFEXITED(program.status) ? WEXITSTATUS(program.status) : WTERMSIG(program.status),
           what);
    StopOnOtherWindow(what);
    const double now = NowMs();
    if (done == AllMoved && moves > 0 && now - lastMove > stallMs)
      Stop("names stopped moving: %ld of %ld moved, none in the last %.0f s", moves, movesWanted,
           stallMs / 1000);
    const double left = deadline - now;
    if (left <= 0) {
      if (done == AllMoved)
        Fail("timed out waiting for %s: %ld of %ld moved", what, moves, movesWanted);
      Fail("timed out waiting for %s", what);
    }
    // Wakes at least once a second to look for a stall.
    Pump(done == AllMoved && left > 1000 ? 1000 : left);
  }
}

static void Settle(void) {
  const double until = NowMs() + settleMs;
  for (double left; (left = until - NowMs()) > 0;) Pump(left);
}

static int TargetShown(void) { return target != NULL && target->firstDamage > 0; }
static int PollerEnded(void) { return poller.done; }

static double menuAsked;
static int MenuShown(void) {
  for (int i = 0; i < windowCount; ++i) {
    const Tracked* t = &windows[i];
    if (t->overrideRedirect && t->mapped && t->mapTime >= menuAsked && t->firstDamage > 0) return 1;
  }
  return 0;
}

static void Hook(const char* phase) {
  if (hook == NULL) return;
  char command[4096];
  snprintf(command, sizeof command, "%s %s %d", hook, phase, (int)program.pid);
  if (system(command) != 0) fprintf(stderr, "probe: hook \"%s\" failed\n", command);
}

// --- what is sent ---

static void Key(KeyCode code, int press) { XTestFakeKeyEvent(dpy, code, press, CurrentTime); }

static void FocusTarget(void) {
  XSetInputFocus(dpy, target->window, RevertToPointerRoot, CurrentTime);
  XFlush(dpy);
}

// Alt and the menu's access key; returns once the menu is drawn.
static void OpenMenu(KeyCode access, const char* what) {
  menuAsked = NowMs();
  Key(keyAlt, True);
  Key(access, True);
  Key(access, False);
  Key(keyAlt, False);
  XFlush(dpy);
  WaitFor(MenuShown, what);
}

// Sends a key to the open menu; returns the time of sending.
static double Press(KeyCode code) {
  const double sent = NowMs();
  Key(code, True);
  XFlush(dpy);
  Key(code, False);
  XFlush(dpy);
  return sent;
}

static double CloseTarget(void) {
  XEvent ev;
  memset(&ev, 0, sizeof ev);
  ev.xclient.type = ClientMessage;
  ev.xclient.window = target->window;
  ev.xclient.message_type = wmProtocols;
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = (long)wmDeleteWindow;
  ev.xclient.data.l[1] = CurrentTime;
  const double sent = NowMs();
  XSendEvent(dpy, target->window, False, NoEventMask, &ev);
  XFlush(dpy);
  return sent;
}

static double TotalCpuMs(const struct rusage* u) {
  return u->ru_utime.tv_sec * 1e3 + u->ru_utime.tv_usec / 1e3 + u->ru_stime.tv_sec * 1e3 +
         u->ru_stime.tv_usec / 1e3;
}

static void PrintEnd(void) {
  printf("status=%d\n",
         WIFEXITED(program.status) ? WEXITSTATUS(program.status) : 128 + WTERMSIG(program.status));
  printf("maxrss_kb=%ld\n", program.usage.ru_maxrss);
  printf("cpu_ms=%.1f\n", TotalCpuMs(&program.usage));
}

// The window has settled: it drew at least once since `since`, then neither
// drew nor kept the program busy for `quietMs` (a program still working on
// a long list may draw nothing for a while). Gives the time of its last
// drawing.
static double Settled(double since, double quietMs) {
  const double limit = since + timeoutMs;
  double quietFrom = NowMs(), cpuFrom = CpuMs(program.pid), lastBusy = 0;
  for (;;) {
    const double now = NowMs();
    if (target->lastDamage > quietFrom) {
      quietFrom = target->lastDamage;
      cpuFrom = CpuMs(program.pid);
    }
    if (MediumBusy()) {
      quietFrom = lastBusy = now;
      cpuFrom = CpuMs(program.pid);
    }
    if (now >= quietFrom + quietMs) {
      const double cpu = CpuMs(program.pid);
      // An idle Qt program uses next to nothing; a fifth of the time is work.
      if (target->lastDamage >= since && cpu - cpuFrom < quietMs / 5)
        return target->lastDamage > lastBusy ? target->lastDamage : lastBusy;
      quietFrom = now;
      cpuFrom = cpu;
    }
    if (now >= limit) Fail("timed out waiting for the window to settle");
    StopOnOtherWindow("the window to settle");
    // The medium is looked at every 2 ms: a call there takes longer.
    const double wait = quietFrom + quietMs - now;
    Pump(busyPath != NULL && wait > 2 ? 2 : wait);
  }
}

static void StartWindow(char** argv, int untilSettled) {
  const double xBefore = CpuMs(xserver);
  Spawn(&program, argv, -1, -1);
  Hook("started");
  WaitFor(TargetShown, "the window to show");
  printf("start_cpu_ms=%.2f\n", CpuMs(program.pid));
  if (xserver > 0) printf("start_x_cpu_ms=%.2f\n", CpuMs(xserver) - xBefore);
  printf("map_ms=%.2f\n", target->mapTime - program.start);
  printf("start_ms=%.2f\n", target->firstDamage - program.start);
  Mark("exec", program.start);
  Mark("shown", target->firstDamage);
  if (untilSettled) printf("settled_ms=%.2f\n", Settled(program.start, 150) - program.start);
  Hook("shown");
  FocusTarget();
}

static void CloseAndEnd(const char* key) {
  Hook("closing");
  const double cpuBefore = CpuMs(program.pid);
  const double sent = CloseTarget();
  WaitFor(ProgramEnded, "the program to end");
  printf("%s=%.2f\n", key, program.end - sent);
  printf("exit_cpu_ms=%.2f\n", TotalCpuMs(&program.usage) - cpuBefore);
  Mark("close", sent);
  Mark("ended", program.end);
}

int main(int argc, char** argv) {
  int i = 1;
  for (; i < argc && strncmp(argv[i], "--", 2) == 0 && argv[i][2] != '\0'; i += 2) {
    if (i + 1 >= argc) Fail("%s needs a value", argv[i]);
    if (strcmp(argv[i], "--log") == 0)
      logPath = argv[i + 1];
    else if (strcmp(argv[i], "--settle") == 0)
      settleMs = atof(argv[i + 1]);
    else if (strcmp(argv[i], "--timeout") == 0)
      timeoutMs = atof(argv[i + 1]);
    else if (strcmp(argv[i], "--stall") == 0)
      stallMs = atof(argv[i + 1]);
    else if (strcmp(argv[i], "--hook") == 0)
      hook = argv[i + 1];
    else if (strcmp(argv[i], "--xserver") == 0)
      xserver = (pid_t)atoi(argv[i + 1]);
    else if (strcmp(argv[i], "--busy") == 0)
      busyPath = argv[i + 1];
    else
      Fail("unknown option %s", argv[i]);
  }
  if (i >= argc) Fail("no mode given");
  const char* mode = argv[i++];
  char* rest[3] = {NULL, NULL, NULL};
  int restCount = 0;
  for (; i < argc && strcmp(argv[i], "--") != 0; ++i) {
    if (restCount == 3) Fail("too many arguments before --");
    rest[restCount++] = argv[i];
  }
  if (i >= argc - 1) Fail("no program given after --");
  char** command = argv + i + 1;

  const int needs = strcmp(mode, "window") == 0 || strcmp(mode, "poll") == 0   ? 1
                    : strcmp(mode, "steps") == 0 || strcmp(mode, "whole") == 0 ? 3
                    : strcmp(mode, "floor") == 0                               ? 2
                    : strcmp(mode, "run") == 0                                 ? 0
                                                                               : -1;
  if (needs < 0) Fail("unknown mode %s", mode);
  if (restCount != needs) Fail("mode %s takes %d arguments before --", mode, needs);

  if (strcmp(mode, "run") == 0) {
    // No X needed; timed the same way.
    program.start = 0;
    Spawn(&program, command, -1, -1);
    struct pollfd fd = {program.pidfd, POLLIN, 0};
    if (poll(&fd, 1, (int)timeoutMs) <= 0) Fail("timed out waiting for the program to end");
    Reap(&program, NowMs());
    printf("wall_ms=%.2f\n", program.end - program.start);
    PrintEnd();
    return 0;
  }

  if (strcmp(mode, "floor") == 0) {
    const long count = atol(rest[1]);
    WatchFolder(rest[0]);
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) Fail("pipe: %s", strerror(errno));
    Spawn(&program, command, in[0], out[1]);
    close(in[0]);
    close(out[1]);
    FILE* said = fdopen(out[0], "r");
    char line[256];
    if (fgets(line, sizeof line, said) == NULL || strcmp(line, "ready\n") != 0)
      Fail("the floor program did not say ready");
    ArmMoves(count);
    const double cpuBefore = CpuMs(program.pid);
    const double sent = NowMs();
    if (write(in[1], "g", 1) != 1) Fail("cannot trigger the floor program");
    // No X here: wait on inotify and the process only.
    const double deadline = sent + timeoutMs;
    while (!AllMoved()) {
      struct pollfd fd = {inotifyFd, POLLIN, 0};
      if (NowMs() > deadline) Fail("timed out: %ld of %ld names moved", moves, count);
      if (poll(&fd, 1, 100) > 0) ReadInotify(NowMs());
    }
    printf("rename_ms=%.2f\n", movesDone - sent);
    printf("rename_cpu_ms=%.2f\n", CpuMs(program.pid) - cpuBefore);
    while (fgets(line, sizeof line, said) != NULL) fputs(line, stdout);
    struct pollfd fd = {program.pidfd, POLLIN, 0};
    if (poll(&fd, 1, (int)timeoutMs) <= 0) Fail("timed out waiting for the floor program to end");
    Reap(&program, NowMs());
    PrintEnd();
    return 0;
  }

  wantedTitle = rest[0];
  OpenDisplay();

  if (strcmp(mode, "window") == 0) {
    StartWindow(command, 1);
    Settle();
    CloseAndEnd("exit_ms");
    PrintEnd();
    return 0;
  }

  if (strcmp(mode, "poll") == 0) {
    char pattern[512];
    snprintf(pattern, sizeof pattern, "^%s$", wantedTitle);
    char* xdotool[] = {"xdotool", "search", "--sync", "--onlyvisible", "--name", pattern, NULL};
    Spawn(&program, command, -1, -1);
    Spawn(&poller, xdotool, -1, -1);
    poller.start = program.start;  // both count from the program's start
    WaitFor(TargetShown, "the window to show");
    WaitFor(PollerEnded, "xdotool to find the window");
    printf("map_ms=%.2f\n", target->mapTime - program.start);
    printf("start_ms=%.2f\n", target->firstDamage - program.start);
    printf("xdotool_ms=%.2f\n", poller.end - program.start);
    FocusTarget();
    Settle();
    CloseAndEnd("exit_ms");
    return 0;
  }

  // steps, whole: the rename from the menu.
  const long count = atol(rest[2]);
  WatchFolder(rest[1]);
  const int whole = strcmp(mode, "whole") == 0;
  StartWindow(command, !whole);
  if (!whole) Settle();
  OpenMenu(keyF, "the menu ALT+F to show");
  printf("menu_ms=%.2f\n", NowMs() - menuAsked);
  Hook("menu");
  ArmMoves(count);
  target->damageCount = 0;
  const double cpuBefore = CpuMs(program.pid), xBefore = CpuMs(xserver);
  const double sent = Press(keyR);
  WaitFor(AllMoved, "every name to be moved");
  printf("rename_ms=%.2f\n", movesDone - sent);
  printf("rename_cpu_ms=%.2f\n", CpuMs(program.pid) - cpuBefore);
  if (xserver > 0) printf("rename_x_cpu_ms=%.2f\n", CpuMs(xserver) - xBefore);
  Mark("key", sent);
  Mark("renamed", movesDone);
  printf("rename_flushes=%ld\n", target->damageCount);
  Hook("renamed");
  if (!whole) {
    // The command goes on after the last name: it writes down where every
    // file went and looks at the rows again for their marks, taking no
    // input meanwhile (on a share that look counts in the status line, and
    // a key then is not a command). The menu is asked for once it is done.
    printf("rename_done_ms=%.2f\n", Settled(movesDone, 150) - sent);
    Settle();
    // Every new name made again from the menu: the first preset, "$T.mp3".
    OpenMenu(keyN, "the menu ALT+N to show");
    const double refreshCpu = CpuMs(program.pid);
    const double key = Press(keyA);
    const double settled = Settled(key, 150);
    printf("refresh_ms=%.2f\n", settled - key);
    printf("refresh_cpu_ms=%.2f\n", CpuMs(program.pid) - refreshCpu);
    Mark("refresh", key);
    Mark("refreshed", settled);
    Hook("refreshed");
    Settle();
  }
  CloseAndEnd("exit_ms");
  if (whole) printf("whole_ms=%.2f\n", program.end - program.start);
  PrintEnd();
  return 0;
}
