#!/usr/bin/env bash
# Starts the print system for the end-to-end printing test: cupsd with a PDF queue as the
# default printer (cups-pdf writes each job to ~/PDF of the user who printed it).
# Idempotent: a running scheduler and an existing queue are kept.
set -euo pipefail
sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
running() { lpstat -r 2>/dev/null | grep -q 'scheduler is running'; }
if ! running; then
  $sudo cupsd
  for _ in $(seq 100); do running && break; sleep 0.1; done
fi
running || { echo "start-cups.sh: cupsd did not start" >&2; exit 1; }
if ! lpstat -p PDF >/dev/null 2>&1; then
  $sudo lpadmin -p PDF -E -v cups-pdf:/ -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
fi
$sudo lpadmin -d PDF
$sudo cupsenable PDF
$sudo cupsaccept PDF
mkdir -p "$HOME/PDF"
lpstat -d
