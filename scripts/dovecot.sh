#!/usr/bin/env bash
# A private Dovecot POP3 server on 127.0.0.1 for tests and the demo. Config,
# state, logs, transcripts and mail all live in one folder; several instances
# may run at once on different ports. Works as root or as a normal user.
#
#   dovecot.sh start DIR PORT USER PASSWORD [--tls CERT KEY TLSPORT] [--oauth2 ISSUER KEYFILE]
#                    [--listen ADDRESSES]
#                                             create DIR and start; waits until it greets;
#                                             --listen: Dovecot's listen list instead of
#                                             127.0.0.1 (e.g. "::1", or "127.0.0.1, ::1");
#                                             with --tls: STLS on PORT, TLS from the first
#                                             byte on TLSPORT, with the PEM files CERT and KEY;
#                                             with --oauth2: AUTH XOAUTH2 and OAUTHBEARER too,
#                                             taking JWTs of ISSUER signed (HS256) with the
#                                             secret bytes in KEYFILE, the user in "email";
#                                             a port 0 is one free port that it finds; prints
#                                             "PORT <n>" (and "TLSPORT <n>") once it greets
#   dovecot.sh add DIR USER INDEX FILE        deliver FILE as message INDEX (1 = oldest);
#                                             prints its unique id (what UIDL returns)
#   dovecot.sh sent DIR                       the client's lines of all sessions, in order
#   dovecot.sh stop DIR                       stop the instance of DIR
#   dovecot.sh demo DIR PORT                  user demo / password demo, three messages
#                                             (PORT 0 as for start)
set -euo pipefail

die() { echo "dovecot.sh: $*" >&2; exit 1; }
usage() { sed -n '6,20s/^# \{0,1\}//p' "$0" >&2; exit 2; }

# The folder must be absolute in the config, and short: Dovecot's unix sockets
# live below it and their paths are limited to about 108 bytes.
abs_dir() {
  local d
  d=$(realpath -m -- "$1")
  [ ${#d} -le 78 ] || die "folder path longer than 78 characters: $d"
  printf '%s\n' "$d"
}

# Mail processes may not run as root, so as root the mailboxes belong to nobody.
mail_uid() { if [ "$(id -u)" -eq 0 ]; then id -u nobody; else id -u; fi; }
mail_gid() { if [ "$(id -u)" -eq 0 ]; then id -g nobody; else id -g; fi; }

pid_file() { printf '%s/run/master.pid\n' "$1"; }

# Running and not a zombie (a killed master may stay unreaped for a while).
alive() {
  local key value
  [ -r "/proc/$1/status" ] || return 1
  while read -r key value; do
    [ "$key" = State: ] || continue
    [ "${value:0:1}" != Z ]
    return
  done < "/proc/$1/status" 2>/dev/null
  return 1
}

# Waits up to SECONDS for every pid to be gone.
wait_gone() {
  local deadline=$(( ${EPOCHREALTIME/./} + $1 * 1000000 )) p left
  shift
  while :; do
    left=
    for p in "$@"; do alive "$p" && left=1; done
    [ -z "$left" ] && return 0
    [ "${EPOCHREALTIME/./}" -lt "$deadline" ] || return 1
    sleep 0.02
  done
}

# Pids of the master's children, read from /proc.
instance_children() {
  local master=$1 f rest pid
  for f in /proc/[0-9]*/stat; do
    { read -r rest < "$f"; } 2>/dev/null || continue
    # The name in field 2 may hold spaces: the parent is the 2nd field after ')'.
    rest=${rest##*) }
    set -- $rest
    if [ "${2:-}" = "$master" ]; then
      pid=${f#/proc/}; printf '%s\n' "${pid%/stat}"
    fi
  done
}

greets() {  # ADDRESS PORT: does ADDRESS:PORT answer with a line starting "+OK"?
  local line
  line=$( { IFS= read -r -t 1 l <&3 && printf '%s' "$l"; } 2>/dev/null 3<>"/dev/tcp/$1/$2" ) || return 1
  [[ $line == +OK* ]]
}

# The addresses Dovecot listens on (its listen setting).
LISTEN=127.0.0.1

write_config() {  # DIR PORT [CERT KEY TLSPORT]
  local dir=$1 port=$2 uid gid internal ssl="ssl = no" tls_port=0
  if [ $# -eq 5 ]; then
    # Dovecot reads the files at start-up as root: copies in DIR keep them readable.
    cp -- "$3" "$dir/tls-cert.pem"; cp -- "$4" "$dir/tls-key.pem"; chmod 600 "$dir/tls-key.pem"
    ssl="ssl = yes
ssl_cert = <$dir/tls-cert.pem
ssl_key = <$dir/tls-key.pem
ssl_min_protocol = TLSv1.2"
    tls_port=$5
  fi
  uid=$(mail_uid); gid=$(mail_gid)
  if [ "$(id -u)" -eq 0 ]; then
    internal="default_internal_user = dovecot
default_internal_group = dovecot
default_login_user = dovenull"
  else
    local me grp
    me=$(id -un); grp=$(id -gn)
    # Without root there is no chroot, and every service runs as ourselves.
    internal="default_internal_user = $me
default_internal_group = $grp
default_login_user = $me
service anvil {
  chroot =
}
service ipc {
  chroot =
}"
  fi
  cat > "$dir/dovecot.conf" <<EOF
# Written by scripts/dovecot.sh; rewritten at every start.
instance_name = zepho-pop3-$port
base_dir = $dir/run
state_dir = $dir/state
log_path = $dir/dovecot.log
$internal
protocols = pop3
listen = $LISTEN
$ssl
disable_plaintext_auth = no
auth_mechanisms = plain apop
# A wrong password would otherwise slow down later logins from 127.0.0.1 for seconds.
auth_failure_delay = 0
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
first_valid_uid = 1
mail_location = maildir:~/Maildir
# Ids are the maildir file names, so tests know them in advance.
pop3_uidl_format = %f
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $dir/users
}
userdb {
  driver = passwd-file
  args = username_format=%u $dir/users
  default_fields = uid=$uid gid=$gid home=$dir/home/%u
}
# Transcripts: before login from the login process, after it from pop3.
rawlog_dir = $dir/rawlog/post
service pop3-login {
  executable = pop3-login -R $dir/rawlog/pre
  inet_listener pop3 {
    port = $port
  }
  inet_listener pop3s {
    port = $tls_port
    ssl = yes
  }
  # Chrooted, the login process could not reach the transcript folder.
  chroot =
}
EOF
}

maildir_of() {  # DIR USER
  local md=$1/home/$2/Maildir
  mkdir -p "$md/new" "$md/cur" "$md/tmp"
  chown -R "$(mail_uid):$(mail_gid)" "$1/home/$2"
  printf '%s\n' "$md"
}

# Bearer tokens checked locally, as JWTs signed with a shared secret: the
# oauth2 passdb in its local validation mode, beside the password passdb.
OAUTH2_ISSUER= OAUTH2_KEY=
write_oauth2_config() {  # DIR
  local dir=$1
  [ -n "$OAUTH2_ISSUER" ] || return 0
  # The key dict maps shared/<azp>/<alg>/<kid> to files below the prefix; a
  # token without azp and kid uses "default" for both. The value is base64.
  mkdir -p "$dir/keys/default/HS256"
  base64 -w0 < "$OAUTH2_KEY" > "$dir/keys/default/HS256/default"
  chmod -R a+rX "$dir/keys"
  printf '%s\n' 'introspection_mode = local' \
    "local_validation_key_dict = fs:posix:prefix=$dir/keys/" \
    'username_attribute = email' "issuers = $OAUTH2_ISSUER" > "$dir/dovecot-oauth2.conf.ext"
  chmod 644 "$dir/dovecot-oauth2.conf.ext"
  sed -i 's/^auth_mechanisms = plain apop$/auth_mechanisms = plain apop xoauth2 oauthbearer/' \
    "$dir/dovecot.conf"
  printf '%s\n' 'passdb {' '  driver = oauth2' '  mechanisms = xoauth2 oauthbearer' \
    "  args = $dir/dovecot-oauth2.conf.ext" '}' >> "$dir/dovecot.conf"
}

valid_port() { [[ $1 =~ ^[0-9]+$ ]] && [ "$1" -le 65535 ]; }

# A port to try where the caller asked for any (0). Dovecot cannot listen on
# port 0 (there it means "no listener") nor tell which port it got, so the
# script chooses and starts again on another port when that one is taken: the
# port is held from Dovecot's own bind on, and instances started at the same
# time cannot end up on one port. Below Linux's default range of ports for
# outgoing connections (32768-60999).
random_port() { echo $(( 20000 + (RANDOM * 32768 + RANDOM) % 12768 )); }

# Starts the daemon on the ports of the config; fails with status 3 when a port is taken.
launch() {  # DIR
  local dir=$1 out=$1/start.out
  # The daemon keeps every descriptor it inherits: a pipe of the caller would
  # keep the caller (a test runner, a command substitution) waiting for it.
  if (
    for fd in /proc/$BASHPID/fd/*; do
      fd=${fd##*/}
      if [ "$fd" -gt 2 ]; then eval "exec $fd>&-"; fi
    done
    exec dovecot -c "$dir/dovecot.conf"
  ) </dev/null >"$out" 2>&1; then
    cat "$out" >> "$dir/dovecot.log"
    return 0
  fi
  cat "$out" >> "$dir/dovecot.log"
  grep -q 'Address already in use' "$out" && return 3
  return 1
}

cmd_start() {
  local rest=()
  while [ $# -gt 0 ]; do
    if [ "$1" = --listen ]; then
      [ $# -ge 2 ] && [[ $2 =~ ^[0-9a-fA-F.:,\ ]+$ ]] || die "bad listen addresses: ${2:-}"
      LISTEN=$2
      shift 2
    else
      rest+=("$1")
      shift
    fi
  done
  set -- "${rest[@]}"
  if [ $# -ge 3 ] && [ "${*: -3:1}" = --oauth2 ]; then
    OAUTH2_ISSUER=${*: -2:1} OAUTH2_KEY=${*: -1:1}
    [ -s "$OAUTH2_KEY" ] || die "no such key file, or an empty one: $OAUTH2_KEY"
    OAUTH2_KEY=$(realpath -- "$OAUTH2_KEY")
    set -- "${@:1:$#-3}"
  fi
  [ $# -eq 4 ] || { [ $# -eq 8 ] && [ "$5" = --tls ]; } || usage
  local dir want_port=$2 user=$3 pass=$4 pid up tls=() want_tls= port tls_port attempt status
  if [ $# -eq 8 ]; then
    [ -f "$6" ] && [ -f "$7" ] || die "no such certificate or key: $6 $7"
    valid_port "$8" || die "bad TLS port: $8"
    tls=("$(realpath -- "$6")" "$(realpath -- "$7")")
    want_tls=$8
  fi
  dir=$(abs_dir "$1")
  valid_port "$want_port" || die "bad port: $want_port"
  [[ $user =~ ^[^:[:space:]]+$ ]] || die "bad user name: $user"
  [[ $pass != *[:$'\n']* ]] || die "the password may not hold ':' or a line break"

  if [ -f "$(pid_file "$dir")" ]; then
    pid=$(cat "$(pid_file "$dir")")
    alive "$pid" && die "already running in $dir (pid $pid)"
    rm -f "$(pid_file "$dir")"
  fi
  # The first address it listens on is where it is asked whether it greets.
  local first=${LISTEN%%,*}
  first=${first// /}
  # Otherwise a server already on the port would pass for ours.
  if [ "$want_port" -ne 0 ]; then greets "$first" "$want_port" && die "port $want_port already answers"; fi

  mkdir -p "$dir/run" "$dir/state" "$dir/rawlog/pre" "$dir/rawlog/post"
  chmod 755 "$dir"
  if [ "$(id -u)" -eq 0 ]; then
    # The services run as other users and must reach the folder.
    up=$dir
    while up=$(dirname "$up"); [ "$up" != / ]; do
      [ "$(( 0$(stat -c %a "$up") & 1 ))" -ne 0 ] ||
        die "$up is not searchable by other users; choose a folder elsewhere (e.g. under /tmp)"
    done
    chown dovenull:dovenull "$dir/rawlog/pre"
    chown "$(mail_uid):$(mail_gid)" "$dir/rawlog/post"
  fi
  printf '%s:{PLAIN}%s::::::\n' "$user" "$pass" > "$dir/users"
  chmod 644 "$dir/users"
  maildir_of "$dir" "$user" >/dev/null

  for attempt in $(seq 1 20); do
    port=$want_port tls_port=$want_tls
    [ "$port" -eq 0 ] && port=$(random_port)
    if [ -n "$want_tls" ]; then
      while [ "$tls_port" -eq 0 ] || [ "$tls_port" -eq "$port" ]; do tls_port=$(random_port); done
      write_config "$dir" "$port" "${tls[@]}" "$tls_port"
    else
      write_config "$dir" "$port"
    fi
    write_oauth2_config "$dir"
    status=0
    launch "$dir" || status=$?
    [ "$status" -eq 0 ] && break
    if [ "$status" -eq 3 ] && { [ "$want_port" -eq 0 ] || [ "${want_tls:-1}" -eq 0 ]; }; then
      continue
    fi
    tail -n 20 "$dir/dovecot.log" >&2 2>/dev/null || true
    die "dovecot did not start"
  done
  [ "$status" -eq 0 ] || die "no free port found in $attempt attempts; end of $dir/dovecot.log: $(tail -n 2 "$dir/dovecot.log")"

  local deadline=$(( ${EPOCHREALTIME/./} + 5000000 ))
  while [ "${EPOCHREALTIME/./}" -lt "$deadline" ]; do
    if greets "$first" "$port"; then
      STARTED_PORT=$port
      echo "PORT $port"
      if [ -n "$want_tls" ]; then echo "TLSPORT $tls_port"; fi
      return 0
    fi
    sleep 0.05
  done
  echo "dovecot.sh: no greeting on port $port within 5 s; end of $dir/dovecot.log:" >&2
  tail -n 20 "$dir/dovecot.log" >&2 2>/dev/null || true
  cmd_stop "$dir" || true
  exit 1
}

cmd_add() {
  [ $# -eq 4 ] || usage
  local dir user=$2 index=$3 file=$4 md name
  dir=$(abs_dir "$1")
  [[ $index =~ ^[1-9][0-9]{0,6}$ ]] || die "bad index: $index"
  [ -f "$file" ] || die "no such file: $file"
  md=$(maildir_of "$dir" "$user")
  # The leading time stamp orders the messages: 1 is the oldest.
  name=$((1700000000 + index)).M${index}P1.test
  rm -f "$md/new/$name" "$md/cur/$name" "$md/cur/$name":*
  cp -- "$file" "$md/tmp/$name"
  chown "$(mail_uid):$(mail_gid)" "$md/tmp/$name"
  chmod 600 "$md/tmp/$name"
  mv -- "$md/tmp/$name" "$md/new/$name"
  printf '%s\n' "$name"
}

cmd_stop() {
  [ $# -eq 1 ] || usage
  local dir pf pid kids k
  dir=$(abs_dir "$1")
  pf=$(pid_file "$dir")
  [ -f "$pf" ] || return 0
  pid=$(cat "$pf")
  if [[ $pid =~ ^[0-9]+$ ]] && alive "$pid"; then
    kids=$(instance_children "$pid")
    kill -TERM "$pid" 2>/dev/null || true
    if ! wait_gone 3 "$pid"; then
      kill -KILL "$pid" 2>/dev/null || true
      wait_gone 1 "$pid" || true
    fi
    # The children leave with the master; any that stay are killed.
    if ! wait_gone 1 $kids; then
      for k in $kids; do if alive "$k"; then kill -KILL "$k" 2>/dev/null || true; fi; done
      wait_gone 1 $kids || true
    fi
  fi
  rm -f "$pf"
}

# Transcript files come in pairs, NAME.in (client) and NAME.out (server), one
# line each "<epoch.micro> <text>". Each connection has a login pair in pre/; a
# login that succeeded continues in a mail pair in post/, which belongs to the
# login whose last client line came last before the mail process's first line.
cmd_sent() {
  [ $# -eq 1 ] || usage
  local dir
  dir=$(abs_dir "$1")
  python3 - "$dir/rawlog" <<'PY'
import glob, os, sys

def read(path):
    try:
        with open(path, "rb") as f:
            data = f.read()
    except FileNotFoundError:
        return []
    out = []
    for raw in data.split(b"\n"):
        if raw:
            stamp, _, text = raw.partition(b" ")
            out.append((float(stamp), text.rstrip(b"\r")))
    return out

def pairs(folder):
    for base in sorted(glob.glob(os.path.join(folder, "*.out"))):
        base = base[:-4]
        sent, got = read(base + ".in"), read(base + ".out")
        start = min([t for t, _ in sent[:1] + got[:1]], default=0.0)
        yield start, sent

root = sys.argv[1]
logins = sorted(pairs(os.path.join(root, "pre")), key=lambda p: p[0])
sessions = [[start, sent, None] for start, sent in logins]
for start, sent in sorted(pairs(os.path.join(root, "post")), key=lambda p: p[0]):
    free = [s for s in sessions if s[2] is None and s[1] and s[1][-1][0] <= start]
    if free:
        max(free, key=lambda s: s[1][-1][0])[2] = sent
    else:
        sessions.append([start, [], sent])
sessions.sort(key=lambda s: s[0])

def without_handover(login, mail):
    # Lines that arrived behind the login command are passed on to the mail
    # process, which logs them again.
    auth = [i for i, (_, text) in enumerate(login)
            if text.split(b" ")[0].upper() in (b"USER", b"PASS", b"APOP", b"AUTH")]
    if not auth:
        return login
    tail = [text for _, text in login[auth[-1] + 1:]]
    if tail == [text for _, text in mail[:len(tail)]]:
        return login[:auth[-1] + 1]
    return login

out = sys.stdout.buffer
for _, login, mail in sessions:
    if mail is not None:
        login = without_handover(login, mail)
    for _, text in login + (mail or []):
        out.write(text + b"\n")
PY
}

cmd_demo() {
  [ $# -eq 2 ] || usage
  local dir src i
  dir=$(abs_dir "$1")
  cmd_start "$dir" "$2" demo demo
  # The sources stay beside the server, for a look at what it serves.
  src=$dir/demo-messages
  mkdir -p "$src"
  cat > "$src/1.eml" <<'EOF'
Return-Path: <news@example.org>
From: Example News <news@example.org>
To: demo@example.jp
Subject: Weekly digest
Date: Mon, 13 Nov 2023 09:00:00 +0900
Message-ID: <digest-1@example.org>
MIME-Version: 1.0
Content-Type: text/plain; charset=us-ascii

This week's news.
EOF
  # Names in Shift_JIS and ISO-2022-JP encoded words: "佐藤 花子" / "見積書の件",
  # "山田 太郎" / "月例会のお知らせ".
  cat > "$src/2.eml" <<'EOF'
Return-Path: <hanako@example.jp>
From: =?Shift_JIS?B?jbKToSCJ1I5x?= <hanako@example.jp>
To: demo@example.jp
Subject: =?Shift_JIS?B?jKmQz4+RgsyMjw==?=
Date: Tue, 14 Nov 2023 10:30:00 +0900
Message-ID: <quote-2@example.jp>
MIME-Version: 1.0
Content-Type: text/plain; charset=Shift_JIS

Quotation attached.
EOF
  cat > "$src/3.eml" <<'EOF'
Return-Path: <taro@example.jp>
From: =?ISO-2022-JP?B?GyRCOzNFRBsoQiAbJEJCQE86GyhC?= <taro@example.jp>
To: demo@example.jp
Subject: =?ISO-2022-JP?B?GyRCN25OYzJxJE4kKkNOJGkkOxsoQg==?=
Date: Wed, 15 Nov 2023 18:45:00 +0900
Message-ID: <meeting-3@example.jp>
MIME-Version: 1.0
Content-Type: text/plain; charset=ISO-2022-JP

See you there.
EOF
  for i in 1 2 3; do cmd_add "$dir" demo "$i" "$src/$i.eml" >/dev/null; done
  echo "POP3 demo server on 127.0.0.1:$STARTED_PORT, user demo, password demo, 3 messages."
  echo "Stop it with: $0 stop $dir"
}

[ $# -ge 1 ] || usage
command=$1; shift
case $command in
  start) cmd_start "$@" ;;
  add) cmd_add "$@" ;;
  stop) cmd_stop "$@" ;;
  sent) cmd_sent "$@" ;;
  demo) cmd_demo "$@" ;;
  *) usage ;;
esac
