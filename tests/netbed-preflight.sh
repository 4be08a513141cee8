# Sourced by the scripts that run a Windows test against the appliance
# simulator in the namespaces of scripts/netns.sh. Ends the script with 77
# (a skip) only when namespaces cannot be made here, and with 1 when the
# check itself fails or the simulator is missing.
#   netbed_preflight NETNS_SH APPLIANCE_SIM
netbed_preflight() {
  local why rc=0
  why=$("$1" check 2>&1) || rc=$?
  case $rc in
    0) ;;
    77) echo "SKIPPED: network namespaces cannot be created here: $why"; exit 77 ;;
    *) echo "FAIL: netns.sh check failed: $why"; exit 1 ;;
  esac
  if [ ! -x "$2" ]; then
    echo "FAIL: the appliance simulator is missing: $2"
    echo "      build the native tree first (make build-native, or cmake --build build/native),"
    echo "      or point HOLV_APPLIANCE_SIM (or the cache variable HOLV_APPLIANCE_SIM) at it."
    exit 1
  fi
}
