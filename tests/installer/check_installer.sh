#!/usr/bin/env bash
# Shows the installer at work under Wine, in a Wine prefix and on a display of its own (the
# service it installs serves \\.\pipe\QorPipe, and the windows it looks for must be its own):
#  - without administrator rights it refuses, installs nothing and ends with 740;
#  - a silent install puts the four files into C:\Program Files\QOR, adds the Start-menu entry
#    and the uninstaller, registers QORsvc as an automatic LocalSystem service, also for Safe
#    Mode with and without networking, and starts it;
#    QORtray.exe starts at logon, and the service writes the user's figures;
#  - Vantrel starts from the installed folder and reads the store;
#  - a second install over the running service stops it, replaces it and starts it again, in
#    the same folder whatever /D= says; a running QORtray.exe is set aside and replaced;
#  - a silent uninstall stops and removes the service, the files, the entries (the Safe Mode ones
#    too) and the uninstaller,
#    and keeps the settings in the registry and the service's log;
#  - an install while another program (the stand-in) serves "QorPipe" ends with 0 and the
#    service running and counting; its log names the program that holds the pipe.
# Wine's service manager keeps no failure actions (QueryServiceConfig2 knows none), so they are
# not shown here.
# Usage: check_installer.sh <VantrelSetup.exe> <setup built as a standard user's> <Vantrel.exe>
#                           <QORsvc.exe> <QORHelp.chm> <QorStandIn.exe> <QORtray.exe>
set -uo pipefail
setup=$1
setup_standard_user=$2
built_vantrel=$3
built_service=$4
built_help=$5
built_standin=$6
built_tray=$7

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
step() { echo "== $*"; }

export WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
prefix=$(mktemp -d "$(cd "${TMPDIR:-/tmp}" && pwd)/vantrel-install.XXXXXX") && [ -d "$prefix" ] || {
    echo "FAIL: no temporary folder for a Wine prefix" >&2
    exit 1
}
export WINEPREFIX=$prefix
xvfb=
cleanup() {
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    case "$prefix" in /*/vantrel-install.*) rm -rf "$prefix" ;; esac
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Xvfb picks a free display and writes its number.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$prefix/display" </dev/null >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$prefix/display" ] && break
    sleep 0.1
done
[ -s "$prefix/display" ] || { echo "FAIL: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n 1 "$prefix/display")

wineboot -i </dev/null >/dev/null 2>&1
wineserver -w
# A Wine prefix lives as long as its server: keep it, and so the service, between the commands
# (for a minute after the last one, should this script be killed).
# It puts itself in the background once it serves, so the next command cannot start another.
wineserver -p60 </dev/null >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1

installed="$prefix/drive_c/Program Files/QOR"
installed_win='C:\Program Files\QOR'
start_menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrel'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
service_key='HKLM\System\CurrentControlSet\Services\QORsvc'
safe_boot_keys=('HKLM\System\CurrentControlSet\Control\SafeBoot\Minimal\QORsvc'
    'HKLM\System\CurrentControlSet\Control\SafeBoot\Network\QORsvc')
user=$(id -un)
user_key="HKLM\\System\\QOR\\Users\\$user"

# Runs a Windows command line; prints its output.
winrun() { wine "$@" </dev/null 2>/dev/null | tr -d '\r'; }
# The data of one registry value, or nothing.
reg_value() { winrun reg query "$1" /v "$2" | awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }
# The type and data of a key's default value, or nothing.
reg_default() { winrun reg query "$1" /ve | awk '$2 ~ /^REG_/ { $1 = ""; sub(/^ +/, ""); print }'; }
key_exists() { wine reg query "$1" </dev/null >/dev/null 2>&1; }
service_state() { winrun sc query QORsvc | awk '$1 == "STATE" { print $4 }'; }
# Waits up to $1 seconds for the command that follows to succeed.
wait_for() {
    local seconds=$1
    shift
    for _ in $(seq $((seconds * 5))); do
        "$@" && return 0
        sleep 0.2
    done
    return 1
}
service_running() { [ "$(service_state)" = RUNNING ]; }
main_window_shown() { xwininfo -root -tree 2>/dev/null | grep -q '"Vantrel": ('; }

# The settings a user made before: a monitored account that may use the computer all day, and
# the service's debug lines, which show its minutes in the log.
store="$prefix/drive_c/store.reg"
{
    echo 'REGEDIT4'
    echo
    echo '[HKEY_LOCAL_MACHINE\System\QOR\Preferences]'
    for flag in Use24HourClock DoubleClickIsTimeUsage RptTimeUsagePerComputer UseRemoteRegistry \
        DoNotForceLogoff; do
        echo "\"$flag\"=dword:00000000"
    done
    echo '"UseDebugLogging"=dword:00000001'
    echo '"MsgWarningText"="Kept: %d minutes left."'
    echo
    echo "[HKEY_LOCAL_MACHINE\\System\\QOR\\Users\\$user]"
    echo '"QorControl"=dword:00000001'
    for d in Mon Tue Wed Thu Fri Sat Sun; do
        echo "\"AllowBegin$d\"=dword:00000000"
        echo "\"AllowEnd$d\"=dword:00000018"
        echo "\"TimeLimit$d\"=dword:000005a0"
    done
} >"$store"
wine regedit /S 'C:\store.reg' </dev/null >/dev/null 2>&1
[ "$(reg_value "$user_key" TimeLimitMon)" = 0x5a0 ] || fail "the store could not be prepared"

step "Without administrator rights"
# Through cmd, which hands on the whole exit code (Linux sees only its low byte).
printf '@"%s" /S\r\n@echo exit=%%ERRORLEVEL%%\r\n' "$(winepath -w "$setup_standard_user")" \
    >"$prefix/drive_c/standard-user.cmd"
refused=$(winrun cmd /c 'C:\standard-user.cmd')
[ "$refused" = "exit=740" ] || fail "a standard user's setup ended with '$refused', not exit=740"
[ ! -e "$installed" ] || fail "a standard user's setup made $installed_win"
! key_exists "$service_key" || fail "a standard user's setup registered the service"
! key_exists "$uninstall_key" || fail "a standard user's setup registered an uninstaller"

step "Silent install"
wine "$setup" /S </dev/null >/dev/null 2>&1
rc=$?
[ "$rc" = 0 ] || fail "the silent install ended with $rc"
for pair in "Vantrel.exe:$built_vantrel" "QORsvc.exe:$built_service" "QORHelp.chm:$built_help" \
    "QORtray.exe:$built_tray"; do
    name=${pair%%:*}
    cmp -s "$installed/$name" "${pair#*:}" || fail "$installed_win\\$name is not the built file"
done
[ -f "$installed/Uninstall.exe" ] || fail "no uninstaller in $installed_win"
[ -f "$start_menu/Vantrel.lnk" ] || fail "no Start-menu entry for Vantrel"
entry=$(reg_value "$run_key" QORtray)
[ "$entry" = "\"$installed_win\\QORtray.exe\"" ] || fail "QORtray.exe is not started at logon: '$entry'"
[ "$(reg_value "$uninstall_key" DisplayName)" = Vantrel ] || fail "Vantrel is not in the list of programs"
[ "$(reg_value "$uninstall_key" UninstallString)" = "\"$installed_win\\Uninstall.exe\"" ] ||
    fail "the list of programs does not name the uninstaller"
[ "$(reg_value "$service_key" ImagePath)" = "\"$installed_win\\QORsvc.exe\"" ] ||
    fail "the service does not run the installed QORsvc.exe: $(reg_value "$service_key" ImagePath)"
[ "$(reg_value "$service_key" Start)" = 0x2 ] || fail "the service does not start automatically"
[ "$(reg_value "$service_key" ObjectName)" = LocalSystem ] || fail "the service does not run as LocalSystem"
[ "$(reg_value "$service_key" DisplayName)" = "Vantrel time-limit service" ] ||
    fail "the service's display name is '$(reg_value "$service_key" DisplayName)'"
for key in "${safe_boot_keys[@]}"; do
    [ "$(reg_default "$key")" = "REG_SZ Service" ] ||
        fail "the service does not run in Safe Mode: $key holds '$(reg_default "$key")'"
done
wait_for 30 service_running || fail "the service is not running after the install: $(service_state)"
grep -q 'Service started on .*QorPipe' "$installed/QORevents.log" 2>/dev/null ||
    fail "the service's log does not say it started"
wait_for 30 eval '[ "$(reg_value "$service_key\\Figures\\$user" Limited)" = 0x1 ]' ||
    fail "the service wrote no figures of $user"

step "Vantrel from the installed folder"
wine "$installed_win\\Vantrel.exe" </dev/null >/dev/null 2>&1 &
vantrel=$!
if wait_for 60 main_window_shown; then
    # A store that could not be read would be reported in a box before the window.
    ! xwininfo -root -tree | grep -q '"Information": (' || fail "Vantrel could not read the store"
    sleep 1
    [ -n "${INSTALLER_SHOT:-}" ] && xwd -root -silent | convert xwd:- "$INSTALLER_SHOT"
else
    fail "Vantrel's main window did not appear"
fi
winrun taskkill /im Vantrel.exe >/dev/null
wait_for 30 eval '! kill -0 $vantrel 2>/dev/null' || {
    fail "Vantrel did not end when asked to close"
    winrun taskkill /f /im Vantrel.exe >/dev/null
}

step "Install again over the running service and QORtray.exe"
wine "$installed_win\\QORtray.exe" </dev/null >/dev/null 2>&1 &
tray=$!
wait_for 30 grep -q 'QOR/QORtray.exe' "/proc/$tray/maps" || fail "QORtray.exe did not start"
wine "$setup" /S '/D=C:\Elsewhere' </dev/null >/dev/null 2>&1
rc=$?
[ "$rc" = 0 ] || fail "the second install ended with $rc"
kill -0 "$tray" 2>/dev/null && ls "$installed"/QORtray.exe.*.old >/dev/null 2>&1 ||
    fail "the running QORtray.exe was not set aside: $(ls "$installed" | tr '\n' ' ')"
winrun taskkill /f /im QORtray.exe >/dev/null
wait "$tray" 2>/dev/null
wait_for 30 service_running || fail "the service is not running after the second install"
[ "$(grep -c 'Service stopped' "$installed/QORevents.log")" = 1 ] ||
    fail "the second install did not stop the running service first"
[ "$(grep -c 'Service started' "$installed/QORevents.log")" -ge 2 ] ||
    fail "the second install did not start the service again"
[ ! -e "$prefix/drive_c/Elsewhere" ] || fail "the second install went to C:\\Elsewhere"
cmp -s "$installed/QORsvc.exe" "$built_service" || fail "after the second install QORsvc.exe is not the built one"
cmp -s "$installed/QORtray.exe" "$built_tray" || fail "after the second install QORtray.exe is not the built one"

# Registering it again keeps the one registration; a running service goes on running.
registered=$(winrun "$installed_win\\QORsvc.exe" --install)
[ "$registered" = "QORsvc: already installed; now runs \"$installed_win\\QORsvc.exe\"" ] ||
    fail "registering the installed service again said: $registered"
service_running || fail "registering the service again stopped it"

step "Silent uninstall"
# The uninstaller runs from a copy in the temporary folder and returns at once, so its exit
# code says nothing; what it did is checked. The administrator's QORtray.exe runs: it is set
# aside, and the next start of Windows (here rm) deletes only that copy.
wine "$installed_win\\QORtray.exe" </dev/null >/dev/null 2>&1 &
tray=$!
wait_for 30 grep -q 'QOR/QORtray.exe' "/proc/$tray/maps" || fail "QORtray.exe did not start"
wine "$installed_win\\Uninstall.exe" /S </dev/null >/dev/null 2>&1
wait_for 60 eval '! key_exists "$uninstall_key"' || fail "the uninstaller did not finish"
winrun taskkill /f /im QORtray.exe >/dev/null
wait "$tray" 2>/dev/null
rm -f "$installed"/QORtray.exe.*.old
! key_exists "$service_key" || fail "the service is still registered"
for key in "${safe_boot_keys[@]}"; do
    ! key_exists "$key" || fail "$key is still there"
done
[ -z "$(reg_value "$run_key" QORtray)" ] || fail "QORtray.exe is still started at logon"
for name in Vantrel.exe QORsvc.exe QORtray.exe QORHelp.chm Uninstall.exe; do
    [ ! -e "$installed/$name" ] || fail "$installed_win\\$name is still there"
done
[ ! -e "$start_menu/Vantrel.lnk" ] || fail "the Start-menu entry is still there"
[ "$(tail -n 1 "$installed/QORevents.log" | tr -d '\r' | cut -c 22-)" = "Service stopped" ] ||
    fail "the service's log was not kept, or the service did not stop before its removal:" \
        "$(cat "$installed/QORevents.log")"
[ "$(ls "$installed")" = QORevents.log ] || fail "left in $installed_win: $(ls "$installed" | tr '\n' ' ')"
[ "$(reg_value "$user_key" TimeLimitMon)" = 0x5a0 ] || fail "the user's settings were removed"
[ "$(reg_value 'HKLM\System\QOR\Preferences' MsgWarningText)" = "Kept: %d minutes left." ] ||
    fail "the preferences were removed"
# Removing a service that is not there is no error: an uninstall may be run twice.
removed=$(winrun "$built_service" --uninstall)
[ "$removed" = "QORsvc: not installed" ] || fail "removing the removed service said: $removed"

step "Install while another program serves the pipe"
# A program that is not the service holds "QorPipe" (any user could start one before the service
# starts): the installed service counts all the same and names the program in its log.
standin_out="$prefix/standin.out"
wine "$built_standin" --log 'C:\standin.log' </dev/null >"$standin_out" 2>&1 &
standin=$!
wait_for 30 grep -q '^ready' "$standin_out" || fail "the stand-in did not start"
wine reg delete "$user_key\\Computers" /f </dev/null >/dev/null 2>&1
wine "$setup" /S </dev/null >/dev/null 2>&1
rc=$?
[ "$rc" = 0 ] || fail "an install while another program serves the pipe ended with $rc, not 0"
service_running || fail "the service does not run while another program serves the pipe: $(service_state)"
# Today's minutes of this computer, as the service writes them.
minutes_counted() {
    local minutes
    minutes=$(winrun reg query "$user_key\\Computers" /s |
        awk -v name="TimeUsage$(LC_ALL=C date +%a)" '$1 == name { print $3; exit }')
    [ -n "$minutes" ] && [ $((minutes)) -ge 1 ]
}
wait_for 90 minutes_counted || fail "the service counted no minute while another program served the pipe"
log="$installed/QORevents.log"
holder=$(grep -n 'Cannot serve \\\\\.\\pipe\\QorPipe: process [0-9]* (.*QorStandIn\.exe) serves it' "$log" | tail -n 1 | cut -d: -f1)
worked=$(grep -n "Minute of $user: " "$log" | tail -n 1 | cut -d: -f1)
[ -n "$holder" ] && [ -n "$worked" ] && [ "$worked" -gt "$holder" ] ||
    fail "the service's log does not name the program that serves the pipe, then show its minutes: $(tail -n 20 "$log")"
kill "$standin" 2>/dev/null
wait "$standin" 2>/dev/null
wine "$installed_win\\Uninstall.exe" /S </dev/null >/dev/null 2>&1
wait_for 60 eval '! key_exists "$service_key" && ! key_exists "$uninstall_key"' ||
    fail "the second uninstall did not remove the service"

if [ "$failures" -gt 0 ]; then
    echo "$failures fault(s) in the installer" >&2
    exit 1
fi
echo "The installer installs, starts, replaces and uninstalls Vantrel and its service"
