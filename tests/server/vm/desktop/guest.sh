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
stop $libinput

desktops=$(sed -n 's/.*pv\.desktops=\([^ ]*\).*/\1/p' /proc/cmdline)
wanted() { case ",$desktops," in *",$1,"*) return 0 ;; esac; return 1; }

# X: the dummy video driver, input hot-plugged through udev by xf86-input-libinput.
check_x11() {
    /usr/lib/xorg/Xorg :0 -config /pv/xorg.conf -logfile /tmp/Xorg.log -nolisten tcp -noreset > /tmp/Xorg.out 2>&1 &
    xorg=$!
    if wait_for 120 "Xorg to start" test -S /tmp/.X11-unix/X0 &&
        wait_for 60 "Xorg to add the device" sh -c 'DISPLAY=:0 xinput list --name-only | grep -qx "Penvale tablet"'; then
        echo "Xorg is up with the device after $(elapsed)"
        DISPLAY=:0 /pv/pv-desk-check x11 || fail X11 "the X client did not see what it should"
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

case "$failures" in *libinput*|*X11*|*Wayland*) show_log /tmp/server.log 20 ;; esac
if [ -z "$failures" ]; then
    echo "PENVALE DESKTOP TEST: PASS (libinput, $desktops, $(elapsed) in the guest)"
else
    echo "PENVALE DESKTOP TEST: FAIL ($failures )"
fi

