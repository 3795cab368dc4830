# Sourced by scripts/vm-test and scripts/vm-desktop-test: fetches Debian's generic
# kernel and the modules the test guests load, into a cache in the build tree.
#
#   vm_kernel CACHE_DIR    sets vm_kernel_dir to CACHE_DIR/<package>, holding vmlinuz,
#                          the modules and modules.order (the order to load them in);
#                          returns 1 with vm_kernel_error set when it cannot be had.
#
# Downloaded and unpacked, never installed: installing would upgrade the host's udev
# and pull in hundreds of megabytes.

# In load order: each needs only the ones before it. virtio and 9p share the host's
# root with the desktop guest; overlay puts a writable layer over it.
VM_KERNEL_MODULES="virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci netfs fscache
    9pnet 9pnet_virtio 9p overlay evdev uinput"

# The generic kernel that the metapackage names today; its ABI number changes with
# updates. The cloud flavour has no uinput.
vm_kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null |
        sed -n 's/^ *Depends: \(linux-image-[0-9.]*-[0-9]*-amd64\)$/\1/p' | head -n1 || true
}

vm_kernel_fetch() {
    local kpkg=$1 kdir=$2 download deb module found
    download="$kdir.download"
    rm -rf "$kdir" "$download"
    mkdir -p "$download"
    (cd "$download" && apt-get download "$kpkg" >/dev/null 2>&1) || { rm -rf "$download"; return 1; }
    deb=$(ls "$download"/*.deb)
    local patterns=('./boot/vmlinuz-*')
    for module in $VM_KERNEL_MODULES; do
        patterns+=("*/$module.ko*")
    done
    # A pattern that matches nothing makes tar complain; what it found is still there.
    dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$download" --wildcards "${patterns[@]}" 2>/dev/null || true
    mkdir -p "$kdir.new"
    cp "$download"/boot/vmlinuz-* "$kdir.new/vmlinuz" || { rm -rf "$download" "$kdir.new"; return 1; }
    : > "$kdir.new/modules.order"
    for module in $VM_KERNEL_MODULES; do
        found=$(find "$download" -name "$module.ko*" | head -n1 || true)
        # A module that is missing may be built into this kernel.
        [ -n "$found" ] || continue
        case "$found" in
            *.xz) xz -dc "$found" > "$kdir.new/$module.ko" ;;
            *.zst) zstd -qdc "$found" > "$kdir.new/$module.ko" ;;
            *) cp "$found" "$kdir.new/$module.ko" ;;
        esac
        echo "$module" >> "$kdir.new/modules.order"
    done
    rm -rf "$download"
    # The guests cannot do without these two.
    [ -f "$kdir.new/evdev.ko" ] && [ -f "$kdir.new/uinput.ko" ] || { rm -rf "$kdir.new"; return 1; }
    mv "$kdir.new" "$kdir"
}

vm_kernel() {
    local cache=$1 kpkg
    mkdir -p "$cache"
    # Both guests' tests may start at once; one of them fetches.
    exec 9> "$cache/.kernel.lock"
    flock 9
    kpkg=$(vm_kernel_package)
    # modules.order is written by this version of the fetch: older caches lack the 9p modules.
    if [ -z "$kpkg" ] || [ ! -f "$cache/$kpkg/modules.order" ]; then
        if [ -z "$kpkg" ] || ! vm_kernel_fetch "$kpkg" "$cache/$kpkg"; then
            # Package lists may be old enough that the kernel they name is gone.
            if [ "$(id -u)" -eq 0 ]; then
                apt-get update -qq >/dev/null 2>&1 || true
                kpkg=$(vm_kernel_package)
            fi
            if [ -z "$kpkg" ]; then
                vm_kernel_error="apt-cache names no linux-image-*-amd64 package"
                exec 9>&-
                return 1
            fi
            if ! vm_kernel_fetch "$kpkg" "$cache/$kpkg"; then
                vm_kernel_error="apt-get download $kpkg failed"
                exec 9>&-
                return 1
            fi
        fi
    fi
    exec 9>&-
    vm_kernel_dir="$cache/$kpkg"
}
