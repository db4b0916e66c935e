#!/usr/bin/env bash
# Prints through the program's own Print command on a real CUPS server and a
# cups-pdf queue, then checks the PDF that comes out:
#   1. the start-up canvas (550 x 364 at 72 dpi), 2 copies, the printer's own
#      paper: two pages, the picture 550 x 364 px at 72 ppi (7.64 x 5.06 in),
#      centred on the page;
#   2. after Print Setup chose US Letter, landscape: one Letter page with the
#      picture centred on the landscape page;
#   3. with the queue rejecting jobs: "Printing Error." and no job.
# The CUPS server is one of our own (its own folder, socket and queue), so it
# never meets the machine's printers or a second run of this test; it is
# stopped and its files removed however the test ends.
#
#   tests/print/cups_pdf_print_test.sh build/tests/cups_print_check
set -euo pipefail

CHECK=$(realpath "${1:?usage: $0 path/to/cups_print_check}")
QUEUE=FernweavePDF
STARTED=$SECONDS

say() { echo "cups-pdf print test: $*"; }
fail() {
    say "FAILED: $*"
    exit 1
}

[[ $(id -u) -eq 0 ]] || fail "must run as root: cupsd and the cups-pdf backend need it"
for tool in cupsd lpadmin lpinfo lpstat cupsreject pdfinfo pdfimages gs; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
done
[[ -x /usr/lib/cups/backend/cups-pdf ]] || fail "the cups-pdf backend is missing (printer-driver-cups-pdf)"
[[ -x $CHECK ]] || fail "$CHECK is not built"

# Configuration files of runs that were killed before they could clean up.
for old in /etc/cups/cups-pdf-fernweave-*.conf; do
    [[ -e $old ]] || continue
    dir=$(sed -n 's/^Out \(.*\)\/out$/\1/p' "$old")
    [[ -n $dir && -d $dir ]] || rm -f "$old"
done

WORK=$(mktemp -d /tmp/fernweave-cups.XXXXXX)
# Filters run as lp: they must reach the spool and temporary folders inside.
chmod 755 "$WORK"
TAG=fernweave-$(basename "$WORK" | cut -d. -f2 | tr -cd 'A-Za-z0-9')
PDFCONF=/etc/cups/cups-pdf-$TAG.conf
CUPSD_PID=
CHECK_PID=
ELSEWHERE=()  # PDFs that cups-pdf wrote outside our folder
export CUPS_SERVER=$WORK/cups.sock

cleanup() {
    local rc=$?
    trap - EXIT INT TERM
    set +e
    if [[ -n $CHECK_PID ]]; then
        kill "$CHECK_PID" 2>/dev/null
        wait "$CHECK_PID" 2>/dev/null
    fi
    if [[ -n $CUPSD_PID ]] && kill -0 "$CUPSD_PID" 2>/dev/null; then
        kill "$CUPSD_PID" 2>/dev/null || true
        for _ in $(seq 1 50); do
            kill -0 "$CUPSD_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$CUPSD_PID" 2>/dev/null || true
        wait "$CUPSD_PID" 2>/dev/null || true
    fi
    if ((rc != 0)); then
        say "the last lines of the CUPS log:"
        grep -v '\[Client ' "$WORK/log/error_log" 2>/dev/null | grep -E '^[EWI] |\[Job ' | tail -40 || true
        tail -20 "$WORK"/log/cups-pdf*_log 2>/dev/null || true
    fi
    rm -f "$PDFCONF" "${ELSEWHERE[@]}"
    rm -rf "$WORK"
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 143' INT TERM

mkdir -p "$WORK"/{etc,spool,cache,state,log}
mkdir -p -m 700 "$WORK/xdg"
mkdir -p -m 1770 "$WORK/tmp"
chgrp lp "$WORK/tmp"
# Job numbers of our own, so that a PDF written to a shared folder (see below)
# is never taken for another run's.
FIRST_JOB=$((100000 + (RANDOM * 32768 + RANDOM + $$) % 800000))
printf 'NextJobId %d\n' "$FIRST_JOB" >"$WORK/cache/job.cache"

cat >"$WORK/etc/cups-files.conf" <<EOF
ServerRoot $WORK/etc
RequestRoot $WORK/spool
CacheDir $WORK/cache
StateDir $WORK/state
TempDir $WORK/tmp
AccessLog $WORK/log/access_log
ErrorLog $WORK/log/error_log
PageLog $WORK/log/page_log
Printcap $WORK/printcap
SystemGroup root
User lp
Group lp
FileDevice No
EOF
cat >"$WORK/etc/cupsd.conf" <<EOF
LogLevel debug
Listen $WORK/cups.sock
Browsing No
WebInterface No
DefaultAuthType None
ErrorPolicy abort-job
<Location />
  Order allow,deny
  Allow all
</Location>
EOF
# The queue's own cups-pdf settings (cups-pdf:/NAME reads cups-pdf-NAME.conf):
# the PDF lands in our folder whoever the job belongs to (cups-pdf writes as
# the job's user, or as its anonymous user for users it does not know).
cat >"$PDFCONF" <<EOF
Out $WORK/out
AnonDirName $WORK/out
Spool $WORK/cups-pdf-spool
Log $WORK/log
EOF

cupsd -f -c "$WORK/etc/cupsd.conf" -s "$WORK/etc/cups-files.conf" >"$WORK/log/cupsd.out" 2>&1 &
CUPSD_PID=$!

# Bounded waits, polling a condition.
wait_for() {
    local seconds=$1 what=$2
    shift 2
    local end=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < end)) || fail "$what within ${seconds} s"
        kill -0 "$CUPSD_PID" 2>/dev/null || { cat "$WORK/log/cupsd.out"; fail "cupsd ended: $what"; }
        sleep 0.2
    done
}
scheduler_runs() { lpstat -r | grep -q 'is running'; }
wait_for 30 "the scheduler to run" scheduler_runs

MODEL=$(lpinfo -m | awk '/CUPS-PDF_opt\.ppd/ {print $1; exit}')
[[ -n $MODEL ]] || MODEL=$(lpinfo -m | awk '/CUPS-PDF.*\.ppd/ {print $1; exit}')
[[ -n $MODEL ]] || fail "no CUPS-PDF driver in lpinfo -m"
out=$(lpadmin -p "$QUEUE" -E -v "cups-pdf:/$TAG" -m "$MODEL" 2>&1) || fail "lpadmin: $out"
lpadmin -d "$QUEUE"
queue_ready() { lpstat -p "$QUEUE" | grep -q 'is idle' && lpstat -a "$QUEUE" | grep -q 'accepting'; }
wait_for 30 "the queue $QUEUE to be ready" queue_ready
say "cupsd $CUPSD_PID on $CUPS_SERVER, queue $QUEUE ($MODEL, cups-pdf:/$TAG) ready after $((SECONDS - STARTED)) s"

# Near enough in points: the PDF writer rounds to hundredths.
near() { awk -v a="$1" -v b="$2" -v t="${3:-0.5}" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= t) }'; }

# Where AppArmor confines cups-pdf, it may read only /etc/cups/cups-pdf.conf
# and write only below /var/spool/cups-pdf and the user's home: then our
# settings go unread and the PDF lands in cups-pdf's own folders.
if grep -qs 'cups-pdf (enforce)' /sys/kernel/security/apparmor/profiles; then
    say "AppArmor confines cups-pdf: the PDFs may land in /var/spool/cups-pdf or ~root/PDF"
fi
ROOT_HOME=$(getent passwd root | cut -d: -f6)
OTHER_PLACES=(/var/spool/cups-pdf "${ROOT_HOME:-/root}/PDF")

JOB=$((FIRST_JOB - 1))
# print_and_check NAME COPIES [--setup PAPER ORIENTATION]
print_and_check() {
    local name=$1 copies=$2
    shift 2
    JOB=$((JOB + 1))
    # In the background, so that a signal to this script is handled at once.
    (cd "$WORK" && QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$WORK/xdg \
        exec "$CHECK" --printer "$QUEUE" --copies "$copies" "$@" >"$WORK/log/check.out" 2>"$WORK/log/check.err") &
    CHECK_PID=$!
    wait "$CHECK_PID" || { cat "$WORK/log/check.err"; fail "$name: the print command did not print"; }
    CHECK_PID=
    local expect
    expect=$(cat "$WORK/log/check.out")
    echo "$expect" | sed 's/^expect /  program: /'
    get() { echo "$expect" | awk -v k="$1" '$1 == "expect" && $2 == k { $1 = ""; $2 = ""; sub(/^  /, ""); print }'; }

    # The job ends in the queue, then its PDF is in our folder.
    job_done() { grep -qE "\[Job $JOB\] (Job completed|Job aborted|Job stopped|Job canceled)" "$WORK/log/error_log"; }
    wait_for 60 "$name: job $JOB to end" job_done
    grep -qE "\[Job $JOB\] Job completed\." "$WORK/log/error_log" ||
        fail "$name: job $JOB did not complete: $(grep -E "\[Job $JOB\] Job " "$WORK/log/error_log" | tail -1)"
    # cups-pdf names an untitled job TITLE-job_N.pdf (job_N-TITLE.pdf when labelling in front).
    pdf_in() { find "$@" -maxdepth 2 -type f -name "*job_${JOB}[-.]*pdf" -newer "$WORK/etc/cupsd.conf" 2>/dev/null | head -1 || true; }
    local pdf= end=$((SECONDS + 30))
    while [[ -z $pdf ]]; do
        pdf=$(pdf_in "$WORK/out")
        if [[ -z $pdf ]]; then
            pdf=$(pdf_in "${OTHER_PLACES[@]}")
            if [[ -n $pdf ]]; then
                ELSEWHERE+=("$pdf")
                say "cups-pdf did not read $PDFCONF (AppArmor?): it wrote $pdf"
            fi
        fi
        [[ -n $pdf ]] && break
        ((SECONDS < end)) || fail "$name: no PDF for job $JOB in $WORK/out or ${OTHER_PLACES[*]}"
        sleep 0.2
    done
    say "$name: job $JOB wrote ${pdf#"$WORK"/} after $((SECONDS - STARTED)) s"

    # What the job carried: copies, and no document name of the program's own.
    local copies_sent title_sent
    copies_sent=$(sed -n "s/.*\[Job $JOB\] argv\[4\]=\"\([0-9]*\)\".*/\1/p" "$WORK/log/error_log" | head -1)
    title_sent=$(sed -n "s/.*\[Job $JOB\] argv\[3\]=\"\(.*\)\"$/\1/p" "$WORK/log/error_log" | head -1)
    [[ $copies_sent == "$copies" ]] || fail "$name: the job carried ${copies_sent:-no} copies, not $copies"
    [[ -z $title_sent ]] || fail "$name: the job has the title '$title_sent'"

    local info pages page_w page_h
    info=$(pdfinfo "$pdf")
    echo "$info" | grep -E '^(Pages|Page size):' | sed 's/^/  pdfinfo: /'
    pages=$(echo "$info" | awk '/^Pages:/ {print $2}')
    read -r page_w page_h < <(echo "$info" | awk '/^Page size:/ {print $3, $5}')
    [[ $pages == "$copies" ]] || fail "$name: $pages pages for $copies copies"

    # The paper the program printed on, upright or turned (cups-pdf puts a
    # landscape page on upright paper, the picture turned with it).
    local exp_w exp_h turned=no
    read -r exp_w exp_h < <(get page)
    if near "$page_w" "$exp_w" 1 && near "$page_h" "$exp_h" 1; then
        turned=no
    elif near "$page_w" "$exp_h" 1 && near "$page_h" "$exp_w" 1; then
        turned=yes
    else
        fail "$name: the page is $page_w x $page_h pt, the program printed on $exp_w x $exp_h"
    fi

    # Every page holds the canvas, pixel for pixel: 550 x 364 px at 72 ppi.
    local images
    images=$(pdfimages -list "$pdf" | awk 'NR > 2')
    echo "$images" | sed 's/^/  pdfimages: /'
    [[ $(echo "$images" | grep -c .) == "$pages" ]] || fail "$name: not one image per page"
    echo "$images" | awk '{ if ($4 != 550 || $5 != 364 || $13 < 71 || $13 > 73 || $14 < 71 || $14 > 73) exit 1 }' ||
        fail "$name: the image is not 550 x 364 px at 72 ppi"

    # Where the marks are: exactly the picture's rectangle (it has no white).
    local want box
    read -r x0 y0 x1 y1 < <(get image)
    if [[ $turned == yes ]]; then
        # A quarter turn either way; the picture is centred, so both agree.
        want="$(awk -v a="$exp_h" -v y0="$y0" -v y1="$y1" -v x0="$x0" -v x1="$x1" 'BEGIN { printf "%.3f %.3f %.3f %.3f", a - y1, x0, a - y0, x1 }')"
    else
        want="$x0 $y0 $x1 $y1"
    fi
    local n=0
    while read -r box; do
        n=$((n + 1))
        echo "  ghostscript page $n: marks at $box (points; expected $want)"
        read -r bx0 by0 bx1 by1 <<<"$box"
        read -r wx0 wy0 wx1 wy1 <<<"$want"
        for pair in "$bx0 $wx0" "$by0 $wy0" "$bx1 $wx1" "$by1 $wy1"; do
            # shellcheck disable=SC2086
            near $pair 0.5 || fail "$name: page $n: the picture is at $box, not at $want"
        done
        # Its size on paper: 7.64 x 5.06 inches.
        awk -v a="$bx0" -v b="$bx1" -v c="$by0" -v d="$by1" -v t="$turned" 'BEGIN {
            w = (b - a) / 72; h = (d - c) / 72; if (t == "yes") { s = w; w = h; h = s }
            exit !(sprintf("%.2f %.2f", w, h) == "7.64 5.06") }' || fail "$name: page $n: not 7.64 x 5.06 inches"
        # Centred: equal margins left and right, top and bottom.
        near "$bx0" "$(awk -v w="$page_w" -v b="$bx1" 'BEGIN { print w - b }')" 1 || fail "$name: page $n: not centred across"
        near "$by0" "$(awk -v h="$page_h" -v b="$by1" 'BEGIN { print h - b }')" 1 || fail "$name: page $n: not centred down"
    done < <(gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=bbox "$pdf" 2>&1 | awk '/%%HiResBoundingBox/ {print $2, $3, $4, $5}')
    ((n == pages)) || fail "$name: ghostscript found marks on $n of $pages pages"
    say "$name: passed"
}

print_and_check "two copies on the printer's paper" 2
print_and_check "US Letter, landscape, from Print Setup" 1 --setup "US Letter" landscape

# A job the queue refuses is an error the user is told about, not a print.
cupsreject "$QUEUE"
rejecting() { lpstat -a "$QUEUE" | grep -q 'not accepting'; }
wait_for 30 "the queue $QUEUE to reject jobs" rejecting
(cd "$WORK" && QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$WORK/xdg \
    exec "$CHECK" --printer "$QUEUE" --copies 1 --refused >"$WORK/log/check.out" 2>"$WORK/log/check.err") &
CHECK_PID=$!
wait "$CHECK_PID" || { cat "$WORK/log/check.err"; fail "a refused job: the print command did not say so"; }
CHECK_PID=
! grep -qE "\[Job $((JOB + 1))\]" "$WORK/log/error_log" || fail "a refused job: job $((JOB + 1)) exists"
say "a refused job: \"Printing Error.\" and no job: passed"

say "passed in $((SECONDS - STARTED)) s"
