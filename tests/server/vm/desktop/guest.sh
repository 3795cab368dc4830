#!/bin/sh
# Runs in the desktop test guest, chrooted into the machine's root under a writable
# layer: udev, the server with its uinput device, then Xorg and sway in turn, each
# with pv-desk-check driving the server and watching a client. Ends with one verdict line.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
# udev refuses to work in a chroot unless told to.
export SYSTEMD_IGNORE_CHROOT=1
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
chmod 1777 /tmp

start=$(date +%s)
elapsed() { echo "$(( $(date +%s) - start )) s"; }
failures=""
fail() { echo "FAIL $*"; failures="$failures $1"; }

# Emulation speed varies a lot: waits are bounded by elapsed seconds.
wait_for() {
    limit=$1 what=$2
    shift 2
    end=$(( $(date +%s) + limit ))
    until "$@" >/dev/null 2>&1; do
        if [ "$(date +%s)" -ge "$end" ]; then
            echo "timed out after $limit s waiting for $what"
            return 1
        fi
        sleep 0.2
    done
}
# Stops a background process and waits (bounded) until it is gone.
stop() {
    kill "$1" 2>/dev/null
    wait_for 30 "process $1 to end" sh -c "! kill -0 $1"
}
show_log() {
    echo "----- $1 (last $2 lines)"
    tail -n "$2" "$1" 2>/dev/null
    echo "-----"
}

/usr/lib/systemd/systemd-udevd --daemon 2>/tmp/udevd.log
udevadm trigger --action=add
udevadm settle --timeout=120

# Port 55 and the real device, as the service runs it, told the screen's size so that
# every Position lands on its exact pixel.
/pv/penvale-server --listen 127.0.0.2 --desktop 1920x1080 --state-dir /tmp/penvale-state > /tmp/server.log 2>&1 &
wait_for 60 "the server to listen" grep -q listening /tmp/server.log || show_log /tmp/server.log 20
udevadm settle --timeout=120
echo "udev and the server are up after $(elapsed)"

# libinput itself, as both display servers use it.
stdbuf -oL libinput debug-events > /tmp/libinput.log 2>&1 &
libinput=$!
if wait_for 60 "libinput to add the device" grep -q 'DEVICE_ADDED.*Penvale tablet' /tmp/libinput.log &&
    grep 'DEVICE_ADDED.*Penvale tablet' /tmp/libinput.log | grep -q 'cap:p'; then
    echo "ok   libinput: \"Penvale tablet\" is a pointer"
else
    fail libinput "libinput does not take \"Penvale tablet\" as a pointer"
    show_log /tmp/libinput.log 20
fi

# The pen: a record of the handheld's, '~', the phase (h hover, t touch, o out), X, Y,
# pressure 0..4095, tilt X and Y in degrees, the side buttons (2 the barrel).
pen() {
    printf '~%s%4d%4d%04d%3d%3d%02d' "$@"
}
# A stroke over a 960x540 Extent: in range, the tip down with pressure rising and the
# pen tilting, the barrel button pressed and let go, the tip up, out of range. One
# sample every 0.2 s, so that every reader sees each as its own.
pen_stroke() {
    (
        printf ':09600540'
        for sample in "h 480 270 0 10 -20 0" "t 480 270 800 10 -20 0" "t 490 275 1600 20 -25 0" \
            "t 500 280 2400 30 -30 2" "t 510 285 3200 30 -30 2" "t 520 290 4000 30 -30 0" \
            "h 520 290 0 30 -30 0" "o 520 290 0 30 -30 0"; do
            # shellcheck disable=SC2086
            pen $sample
            sleep 0.2
        done
        sleep 0.5
    ) | busybox nc 127.0.0.2 55
}
# The pen's device is made at its first sample; one in range and out makes it.
( printf ':09600540'; pen h 480 270 0 0 0 0; sleep 0.3; pen o 480 270 0 0 0 0; sleep 0.3 ) | busybox nc 127.0.0.2 55
if wait_for 60 "libinput to add the pen" grep -q 'DEVICE_ADDED.*Penvale pen' /tmp/libinput.log &&
    grep 'DEVICE_ADDED.*Penvale pen' /tmp/libinput.log | grep -q 'cap:T'; then
    echo "ok   libinput: \"Penvale pen\" is a tablet"
    sleep 1
    # Until libinput has seen a tablet leave once, it ends a hover that stays still for
    # 50 ms itself (for tablets that never report leaving): the second stroke is the one
    # checked, the first shows how it looks before.
    for stroke in 1 2; do
        before=$(wc -l < /tmp/libinput.log)
        pen_stroke
        wait_for 30 "the pen to leave" sh -c "tail -n +$((before + 1)) /tmp/libinput.log | grep -q 'TABLET_TOOL_PROXIMITY.*proximity-out'"
        sleep 0.5
    done
    tail -n +$((before + 1)) /tmp/libinput.log | grep -a TABLET_TOOL > /tmp/pen-events.log
    echo "----- libinput's tablet tool events"
    sed 's/^ *-*event[0-9]* *//' /tmp/pen-events.log
    echo "-----"
    # In order: in range, tip down, pressure rising while down, the barrel pressed and
    # released, tip up, out of range; and the tilt reported.
    order=$(awk '
        /TABLET_TOOL_PROXIMITY.*proximity-in/ { printf "in " }
        /TABLET_TOOL_TIP.*down/ { printf "down "; down = 1 }
        /TABLET_TOOL_BUTTON.*331.*pressed/ { printf "barrel " }
        /TABLET_TOOL_BUTTON.*331.*released/ { printf "barrel-up " }
        /TABLET_TOOL_TIP.*up/ { printf "up "; down = 0 }
        /TABLET_TOOL_PROXIMITY.*proximity-out/ { printf "out " }
        down && match($0, /pressure: [0-9.]+/) {
            p = substr($0, RSTART + 10, RLENGTH - 10) + 0
            if (p < last) falling = 1
            last = p
        }
        END { if (!falling && last > 0.9) printf "rising" }' /tmp/pen-events.log)
    # libinput smooths the tilt: it follows in the axis events and is 30 degrees by the end.
    if [ "$order" = "in down barrel barrel-up up out rising" ] &&
        grep -q 'TABLET_TOOL_AXIS.*tilt: [0-9.]*\*/-[0-9.]*\*' /tmp/pen-events.log &&
        grep 'proximity-out' /tmp/pen-events.log | grep -q 'tilt: 30\.[0-9]*/-30\.'; then
        echo "ok   libinput: proximity, tip, pressure rising to the maximum, tilt and the barrel button"
    else
        fail libinput-pen "libinput's tablet tool events are not the stroke's: $order"
    fi
else
    fail libinput-pen "libinput does not take \"Penvale pen\" as a tablet"
    show_log /tmp/libinput.log 20
fi
stop $libinput

desktops=$(sed -n 's/.*pv\.desktops=\([^ ]*\).*/\1/p' /proc/cmdline)
wanted() { case ",$desktops," in *",$1,"*) return 0 ;; esac; return 1; }

# The pen under X: xf86-input-libinput gives the tool a device of its own at its first
# proximity; its XI2 motion events carry the pressure as valuator 2.
check_x11_pen() {
    ( printf ':09600540'; pen h 480 270 0 0 0 0; sleep 0.3; pen o 480 270 0 0 0 0; sleep 0.3 ) |
        busybox nc 127.0.0.2 55
    if ! wait_for 30 "X to add the pen's tool" sh -c 'DISPLAY=:0 xinput list --name-only | grep -q "^Penvale pen Pen"'; then
        fail X11-pen "X made no device for the pen's tool"
        DISPLAY=:0 xinput list
        return
    fi
    tool=$(DISPLAY=:0 xinput list --name-only | grep '^Penvale pen Pen' | head -n 1)
    id=$(DISPLAY=:0 xinput list --id-only "$tool")
    DISPLAY=:0 xinput list --long "$id" | grep -E 'Label|Range' | sed 's/^ */     /'
    DISPLAY=:0 stdbuf -oL xinput test-xi2 --root > /tmp/xi2.log 2>&1 &
    xi2=$!
    sleep 1
    pen_stroke
    sleep 1
    stop $xi2
    # The pressure valuator of the tool's own motion events, in order.
    # type: 6 the device's motion events, 17 the raw ones.
    pressure_of() {
        awk -v id="$id" -v type="$1" '
            /^EVENT type/ { wanted = ($3 == type); mine = 0; values = 0 }
            wanted && /device:/ { mine = ($3 == "(" id ")") }
            wanted && mine && /valuators:/ { values = 1; next }
            wanted && mine && values && /^ +2: / { printf "%d ", $2 }
            /windows:|^EVENT/ { values = 0 }' /tmp/xi2.log
    }
    pressures=$(pressure_of 6)
    echo "     pressure valuator of \"$tool\" ($id) in its motion events: $pressures"
    echo "     and in its raw motion events: $(pressure_of 17)"
    # Rising to the stroke's strongest sample (4000 of 4095: 2000 of 2047), then lifted.
    if echo "$pressures" | awk '{ max = 0; for (i = 1; i <= NF; i++) { if ($i < max) break; max = $i }
                                  exit !(max >= 1990 && $1 < max) }' &&
        DISPLAY=:0 xinput list --long "$id" | grep -q 'Abs Pressure'; then
        echo "ok   X11: the pen's XI2 motion events carry its rising pressure"
    else
        fail X11-pen "no rising pressure valuator in the pen's XI2 motion events"
        grep '^EVENT' /tmp/xi2.log | sort | uniq -c
    fi
}

# X: the dummy video driver, input hot-plugged through udev by xf86-input-libinput.
check_x11() {
    /usr/lib/xorg/Xorg :0 -config /pv/xorg.conf -logfile /tmp/Xorg.log -nolisten tcp -noreset > /tmp/Xorg.out 2>&1 &
    xorg=$!
    if wait_for 120 "Xorg to start" test -S /tmp/.X11-unix/X0 &&
        wait_for 60 "Xorg to add the device" sh -c 'DISPLAY=:0 xinput list --name-only | grep -qx "Penvale tablet"'; then
        echo "Xorg is up with the device after $(elapsed)"
        DISPLAY=:0 /pv/pv-desk-check x11 || fail X11 "the X client did not see what it should"
        check_x11_pen
    else
        fail X11 "Xorg did not come up with the device"
        show_log /tmp/Xorg.out 20
    fi
    case "$failures" in *X11*) grep -a -E '\(EE\)|Penvale|libinput' /tmp/Xorg.log | grep -v dbus | tail -n 30 ;; esac
    stop $xorg
}

# Wayland: sway with a headless output and libinput input, through seatd, as a user
# of its own (it refuses root).
as_user() {
    setpriv --reuid=4242 --regid=4242 --clear-groups env HOME=/tmp/pvdesk XDG_RUNTIME_DIR=/tmp/pvdesk/run "$@"
}
# sway's libinput backend opens the devices at start but takes them in only once its
# libinput context has something to read: the first input event. A short move does.
nudge_sway() {
    ( printf ':09600540> 100 100'; sleep 1 ) | busybox nc 127.0.0.2 55
}
# The pen under sway: wev binds no tablet, so sway gives it the tool as a pointer (the
# tip is the left button); pressure and tilt reach only clients that bind a tablet.
check_wayland_pen() {
    before=$(wc -l < /tmp/wev.log)
    pen_stroke
    sleep 1
    tail -n +$((before + 1)) /tmp/wev.log | grep -a 'wl_pointer\]' > /tmp/wev-pen.log
    echo "     wev, from the pen's stroke: $(grep -c motion /tmp/wev-pen.log) motions, first $(grep -m1 -o 'x, y: [0-9.]*, [0-9.]*' /tmp/wev-pen.log)"
    grep -a 'button:' /tmp/wev-pen.log | sed 's/^/     /'
    if grep -q 'x, y: 960\.[0-9]*, 540\.' /tmp/wev-pen.log &&
        grep -q 'button: 272 (left), state: 1' /tmp/wev-pen.log &&
        grep -q 'button: 272 (left), state: 0' /tmp/wev-pen.log; then
        echo "ok   Wayland: the pen's stroke reaches the client where it was drawn, its tip as the left button"
    else
        fail Wayland-pen "the pen's stroke did not reach the Wayland client"
        show_log /tmp/wev-pen.log 20
    fi
}
check_wayland() {
    echo "pvdesk:x:4242:4242::/tmp/pvdesk:/bin/sh" >> /etc/passwd
    echo "pvdesk:x:4242:" >> /etc/group
    mkdir -m 700 /tmp/pvdesk /tmp/pvdesk/run
    chown -R 4242:4242 /tmp/pvdesk
    seatd -g pvdesk > /tmp/seatd.log 2>&1 &
    seatd=$!
    wait_for 30 "seatd" test -S /run/seatd.sock
    as_user WLR_BACKENDS=headless,libinput WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 LIBSEAT_BACKEND=seatd \
        sway -d -c /pv/sway.conf > /tmp/sway.log 2>&1 &
    sway=$!
    if wait_for 120 "sway to start" test -S /tmp/pvdesk/run/wayland-1; then
        as_user WAYLAND_DISPLAY=wayland-1 stdbuf -oL wev > /tmp/wev.log 2>&1 &
        wev=$!
        if wait_for 120 "wev to fill the output" grep -q 'configure: width: 1920; height: 1080' /tmp/wev.log &&
            nudge_sway &&
            wait_for 60 "the seat to have a pointer" grep -q 'capabilities:.*pointer' /tmp/wev.log; then
            echo "sway is up with the device after $(elapsed)"
            /pv/pv-desk-check wayland /tmp/wev.log || fail Wayland "the Wayland client did not see what it should"
            check_wayland_pen
        else
            fail Wayland "wev did not get a full-screen surface and a pointer"
        fi
        stop $wev
    else
        fail Wayland "sway did not start"
    fi
    case "$failures" in
        *Wayland*)
            grep -a -i -E 'libinput|seat|session|input|error' /tmp/sway.log | tail -n 60
            show_log /tmp/seatd.log 10
            show_log /tmp/wev.log 40
            ;;
    esac
    stop $sway
    stop $seatd
}

wanted x11 && check_x11
wanted wayland && check_wayland

case "$failures" in *libinput*|*X11*|*Wayland*) show_log /tmp/server.log 30 ;; esac
if [ -z "$failures" ]; then
    echo "PENVALE DESKTOP TEST: PASS (libinput, $desktops, $(elapsed) in the guest)"
else
    echo "PENVALE DESKTOP TEST: FAIL ($failures )"
fi

