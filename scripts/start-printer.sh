#!/usr/bin/env bash
# Starts a real print system for the print tests: the CUPS server (when it is
# not running) with a PDF queue whose jobs become PDF files in one known
# folder. Safe to run again: it only does what is missing.
#   queue:  Tesselune-PDF (made the default)
#   output: $TESSELUNE_PRINT_DIR, /var/spool/tesselune-pdf unless set
# Exit status 0 when the queue is ready, 1 (with the reason) otherwise.
set -uo pipefail
# lpstat's answers are read below, in English.
export LC_ALL=C

queue=Tesselune-PDF
out=${TESSELUNE_PRINT_DIR:-/var/spool/tesselune-pdf}
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

fail() {
  echo "start-printer: $*" >&2
  exit 1
}

command -v cupsd >/dev/null || fail "cupsd is not installed (scripts/install-deps.sh installs cups)"
[ -x /usr/lib/cups/backend/cups-pdf ] || fail "the cups-pdf backend is not installed (printer-driver-cups-pdf)"

# Every job of every user lands in the one folder, named after its title.
conf=/etc/cups/cups-pdf.conf
$SUDO mkdir -p "$out"
$SUDO chmod 1777 "$out"
want="Out $out
AnonDirName $out
Label 0"
if ! grep -qx "Out $out" "$conf" 2>/dev/null; then
  $SUDO sed -i -E '/^(Out|AnonDirName|Label)[[:space:]]/d' "$conf"
  echo "$want" | $SUDO tee -a "$conf" >/dev/null
fi

if ! lpstat -r 2>/dev/null | grep -q 'is running'; then
  $SUDO cupsd || fail "cupsd did not start"
fi
for _ in $(seq 50); do
  lpstat -r 2>/dev/null | grep -q 'is running' && break
  sleep 0.2
done
lpstat -r 2>/dev/null | grep -q 'is running' || fail "the CUPS scheduler is not answering"

if ! lpstat -p "$queue" >/dev/null 2>&1; then
  $SUDO lpadmin -p "$queue" -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd -E ||
    fail "lpadmin could not add the queue $queue"
fi
$SUDO cupsenable "$queue" 2>/dev/null
$SUDO cupsaccept "$queue" 2>/dev/null
# Already the default: nothing to ask lpadmin (which may refuse a user).
if ! lpstat -d 2>/dev/null | grep -q ": $queue\$"; then
  $SUDO lpadmin -d "$queue" || fail "lpadmin could not make $queue the default"
fi

for _ in $(seq 50); do
  if lpstat -p "$queue" 2>/dev/null | grep -q 'is idle\|now printing'; then
    echo "start-printer: $queue ready, jobs written to $out" >&2
    exit 0
  fi
  sleep 0.2
done
fail "the queue $queue is not ready: $(lpstat -p "$queue" 2>&1)"
