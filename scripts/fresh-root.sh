# Shared by scripts/try-fresh and scripts/build-in-chroot: fresh minimal Debian roots, made as
# root with debootstrap below a scratch folder, and the scratch folder's removal however the
# script ends. Sourced, not run, after the script has set $me (its name, for its messages),
# $release, $mirror and $scratch.

# The pristine roots are kept outside the clone, so a rerun unpacks one instead of debootstrapping.
root_cache=${XDG_CACHE_HOME:-$HOME/.cache}/frostfunkel-try-fresh
# What a command in a root starts with: a clean environment.
clean_env=(/usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin)

# Unmounts what is mounted below the scratch folder, deepest first, before anything there is
# removed: removing through a bind mount would remove the machine's own /dev.
remove_scratch() {
    local m
    for m in $(findmnt -rn -o TARGET | grep "^$scratch/" | sort -r); do
        umount "$m" 2>/dev/null || umount -l "$m"
    done
    if findmnt -rn -o TARGET | grep -q "^$scratch/"; then
        echo "$me: still mounted below $scratch; left in place" >&2
    else
        rm -rf --one-file-system "$scratch"
    fi
}

# A fresh root of the release at $scratch/$1, of debootstrap's variant $2 (minbase, or buildd
# with build-essential): the release's main archive, its updates and its security fixes from the
# same mirror, the machine's name server, no service a package brings started, and the kernel's
# file systems bound in.
new_root() {
    local root=$scratch/$1 tarball=$root_cache/$release.tar m
    [ "$2" = minbase ] || tarball=$root_cache/$release-$2.tar
    mkdir -p "$root_cache"
    mkdir "$root"
    if [ -f "$tarball" ]; then
        tar -C "$root" -xpf "$tarball"
    else
        debootstrap --variant="$2" "$release" "$root" "$mirror" >"$scratch/debootstrap.log" 2>&1 ||
            { tail -n 20 "$scratch/debootstrap.log" >&2; exit 1; }
        tar -C "$root" -cpf "$tarball.part" . && mv "$tarball.part" "$tarball"
    fi
    printf 'deb %s %s main\ndeb %s %s-updates main\ndeb %s %s-security main\n' \
        "$mirror" "$release" "$mirror" "$release" "${mirror%/debian}/debian-security" "$release" \
        >"$root/etc/apt/sources.list"
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod +x "$root/usr/sbin/policy-rc.d"
    for m in proc dev dev/pts sys; do
        mount --bind "/$m" "$root/$m"
        mount --make-private "$root/$m" # so nothing mounted or unmounted there reaches the machine
    done
}

# Runs a command in root $scratch/$1 with a clean environment, as root or, with "as USER", as
# that user.
in_root() {
    local root=$scratch/$1 user=()
    shift
    if [ "$1" = as ]; then
        user=(runuser -u "$2" --)
        shift 2
    fi
    chroot "$root" "${clean_env[@]}" "${user[@]}" "$@"
}
