# Sourced by scripts/test: two mosquitto brokers on 127.0.0.1 for the MQTT tests, on free
# ports, with their own config in a temporary folder (no persistence), stopped on exit.
# Exports QV_MQTT_PORT (anonymous) and QV_MQTT_AUTH_PORT (user qv, password "right").

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

start_test_brokers() {
  BROKER_DIR="$(mktemp -d)"
  BROKER_PIDS=()
  trap stop_test_brokers EXIT
  local port auth_port
  port="$(free_port)"
  auth_port="$(free_port)"
  cat >"$BROKER_DIR/open.conf" <<CONF
listener $port 127.0.0.1
allow_anonymous true
persistence false
CONF
  mosquitto_passwd -b -c "$BROKER_DIR/passwords" qv right >/dev/null 2>&1
  # A test-only password; readable because a broker started as root runs as user mosquitto.
  chmod 755 "$BROKER_DIR"
  chmod 644 "$BROKER_DIR/passwords"
  cat >"$BROKER_DIR/auth.conf" <<CONF
listener $auth_port 127.0.0.1
allow_anonymous false
password_file $BROKER_DIR/passwords
persistence false
CONF
  mosquitto -c "$BROKER_DIR/open.conf" >"$BROKER_DIR/open.log" 2>&1 &
  BROKER_PIDS+=($!)
  mosquitto -c "$BROKER_DIR/auth.conf" >"$BROKER_DIR/auth.log" 2>&1 &
  BROKER_PIDS+=($!)
  for _ in $(seq 50); do
    mosquitto_pub -h 127.0.0.1 -p "$port" -t qv/ping -m x 2>/dev/null \
      && mosquitto_pub -h 127.0.0.1 -p "$auth_port" -u qv -P right -t qv/ping -m x 2>/dev/null && break
    sleep 0.1
  done
  export QV_MQTT_PORT="$port" QV_MQTT_AUTH_PORT="$auth_port"
  step "mqtt: test brokers on 127.0.0.1:$port and :$auth_port (with a password)"
}

stop_test_brokers() {
  for pid in "${BROKER_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${BROKER_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$BROKER_DIR"
}
