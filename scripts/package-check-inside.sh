#!/usr/bin/env bash
# package-check-inside.sh DEB: the checks of package-test.sh, run inside the
# fresh Debian 12 it made (as root there). Prints the figures it measures.
set -uo pipefail
deb=$1
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
apt-get update -qq
# What the fresh system holds before: removing the package must come back to it.
snapshot() {
  find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /run -o -path /tmp \
    -o -path /var/cache -o -path /var/lib/apt -o -path /var/lib/dpkg -o -path /var/log -o -path /root \) -prune \
    -o -print 2>/dev/null | sort
}
# The tools the checks use, before the snapshot: not the package's.
apt-get install -y -qq --no-install-recommends man-db xvfb xauth xdotool procps >/dev/null ||
  { echo "FAIL: could not install the checking tools"; exit 1; }
snapshot >/root/before.txt
dpkg-query -W -f='${Package}\n' | sort >/root/packages-before.txt

start=$(date +%s.%N)
apt-get install -y -qq --no-install-recommends "$deb" >/root/apt.log 2>&1 ||
  { tail -20 /root/apt.log; echo "FAIL: apt-get install ./$(basename "$deb")"; exit 1; }
mkdir -p /srv/somewhere && cd /srv/somewhere
qxsim run --steps 1000 --metrics - >/root/metrics.txt 2>/root/metrics.err
rc=$?
end=$(date +%s.%N)
cat /root/metrics.txt
[ $rc = 0 ] && grep -q '^IAE=[0-9]' /root/metrics.txt || { cat /root/metrics.err; fail "qxsim run from /srv/somewhere (exit $rc)"; }
# A sweep's map: the heat-map module is found from the installed qxsim.
qxsim sweep --grid P=0.5:2:2 --grid I=10:20:2 --steps 200 --out /root/sweep.csv --map /root/map.png \
  2>/root/sweep.err && [ "$(head -c 4 /root/map.png | tail -c 3)" = PNG ] && echo "sweep: map drawn" ||
  { cat /root/sweep.err; fail "qxsim sweep --map"; }
echo "figure: apt-get install to the end of the first qxsim run: $(echo "$end - $start" | bc 2>/dev/null || awk "BEGIN{print $end - $start}") s"
dpkg-query -W -f='${Package}\n' | sort >/root/packages-after.txt
echo "figure: packages installed with it: $(comm -13 /root/packages-before.txt /root/packages-after.txt | grep -vc '^qxsim$')"
dpkg-query -W -f='figure: installed size ${Installed-Size} KiB\nfigure: depends ${Depends}\n' qxsim

# The window from the desktop entry's Exec line, %f dropped as a menu does.
exec_line=$(grep '^Exec=' /usr/share/applications/*.desktop | head -n 1 | sed 's/^[^=]*=//; s/ *%[fFuU]//')
echo "desktop Exec: $exec_line"
Xvfb :94 -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
sleep 2
DISPLAY=:94 $exec_line >/root/window.log 2>&1 &
window=$!
found=
for _ in $(seq 1 30); do
  sleep 1
  if DISPLAY=:94 xdotool search --name "Quorvanex" >/dev/null 2>&1; then found=yes; break; fi
  kill -0 $window 2>/dev/null || break
done
[ -n "$found" ] && echo "window: shown" || { cat /root/window.log; fail "the window did not appear from '$exec_line'"; }
kill $window 2>/dev/null; wait $window 2>/dev/null
kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null

man -P cat qxsim 2>/dev/null | grep -q 'run the PID loop simulator' || fail "man qxsim"
man -P cat QxOPCServer 2>/dev/null | grep -q 'PID loop simulator window' || fail "man QxOPCServer"
[ -f /usr/share/mime/packages/qxsim.xml ] && grep -q 'x-qxsim-case' /usr/share/mime/mime.cache 2>/dev/null &&
  echo "mime: case-file type registered" || echo "mime: shared-mime-info not installed (the package recommends nothing for it)"

dpkg -L qxsim | sort >/root/package-files.txt
apt-get purge -y -qq qxsim >/root/purge.log 2>&1 || fail "apt-get purge qxsim"
snapshot >/root/after.txt
# Left behind: a file of the package that is still there, or a new file that
# names the program (the dependencies pulled in stay, with their files).
left=$( (comm -12 /root/package-files.txt /root/after.txt | while read -r f; do [ -d "$f" ] || echo "$f"; done
         comm -13 /root/before.txt /root/after.txt | grep -i -e qxsim -e quorvanex -e QxOPCServer) | sort -u)
if [ -n "$left" ]; then
  echo "left behind after purge:"; echo "$left"
  fail "files left behind"
else
  echo "purge: nothing left behind"
fi
((failures)) && { echo "package-test: $failures check(s) failed"; exit 1; }
echo "package-test: all checks passed"
