#!/usr/bin/env bash
# Runs the README's test command on a fresh Debian 12: a minimal system made
# by debootstrap (git and ca-certificates only; Debian's own packages from
# then on), the committed HEAD cloned into root's home, CI=true as in CI.
# It catches an install step that only a developer's machine satisfies (a
# newer node, a tool installed by hand). Needs root, debootstrap and the
# network; the tests themselves run without a network, in namespaces of
# their own, so that the system's own print server or processes are not
# seen from inside.
#   test-on-fresh-debian.sh [FOLDER]   (default /var/tmp/tesselune-fresh-debian, made anew)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
root=${1:-/var/tmp/tesselune-fresh-debian}
[ "$(id -u)" -eq 0 ] || { echo "test-on-fresh-debian: run as root" >&2; exit 1; }
command -v debootstrap >/dev/null || apt-get install -y -qq debootstrap >/dev/null

rm -rf "$root"
debootstrap --variant=minbase --include=git,ca-certificates bookworm "$root" http://deb.debian.org/debian >/dev/null
cp /etc/resolv.conf "$root/etc/resolv.conf"
# The certificate authorities this machine trusts (a network's proxy may have
# its own among them), for npm's downloads inside.
cp /etc/ssl/certs/ca-certificates.crt "$root/etc/host-ca-certificates.crt"
git clone -q "file://$repo" "$root/root/tesselune"
echo "test-on-fresh-debian: $(git -C "$root/root/tesselune" log -1 --format='%h %s')" >&2

# inside COMMAND [unshare options]: COMMAND run as root in the fresh system,
# with a clean environment and its own /proc.
inside() {
  local command=$1
  shift
  unshare --mount --pid --fork "$@" bash -euo pipefail -c '
    root=$1 command=$2
    if ip link show lo >/dev/null 2>&1; then ip link set lo up; fi
    mount --rbind /dev "$root/dev"
    mount --rbind /sys "$root/sys"
    mount -t proc proc "$root/proc"
    mount -t tmpfs tmpfs "$root/tmp"
    mount -t tmpfs tmpfs "$root/run"
    exec chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 TERM=dumb \
      NODE_EXTRA_CA_CERTS=/etc/host-ca-certificates.crt \
      bash -c "cd /root/tesselune && $command"' inside "$root" "$command"
}

# The install step with the network; then the whole test command without it
# (its install step finds everything there and does nothing).
inside ./scripts/install-deps.sh
inside "node --version && ./.ci/run" --net
