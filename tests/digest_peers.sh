#!/usr/bin/env bash
# tiltwise-cli against Digest as real web servers do it: lighttpd (mod_auth, SHA-256 and MD5)
# and apache2 (mod_auth_digest, MD5, short nonce lifetime), each bound to 127.0.0.1 on a free
# port, with a small CGI script standing in for the camera's param.cgi and a static qx.html.
# Query, set and a read back must pass against each. Config, logs and state live in a temp dir.
#
#   tests/digest_peers.sh TILTWISE_CLI
# Exit status 77 (skipped) only when neither server is installed.
set -euo pipefail
cli=$1
lighttpd=$(command -v lighttpd || true)
[ -n "$lighttpd" ] || { [ -x /usr/sbin/lighttpd ] && lighttpd=/usr/sbin/lighttpd; } || true
apache=/usr/sbin/apache2
modules=/usr/lib/apache2/modules
if [ -z "$lighttpd" ] && [ ! -x "$apache" ]; then
  echo "digest-peers: neither lighttpd nor apache2 is installed (scripts/deps.sh)"
  exit 77
fi

work=$(mktemp -d /tmp/tiltwise-digest.XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -f "$work/apache/httpd.pid" ] && kill "$(cat "$work/apache/httpd.pid")" 2>/dev/null || true
  sleep 0.2
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# The camera's pages in $1: the information page and param.cgi keeping its state in a file.
make_site() {
  mkdir -p "$1"
  printf 'var chip_type=71;\r\n' >"$1/qx.html"
  printf '0 0\n' >"$1/state"
  chmod 666 "$1/state"
  cat >"$1/param.cgi" <<CGI
#!/bin/sh
state="$1/state"
read -r flip mirror <"\$state"
printf 'Content-Type: text/plain\r\n\r\n'
case "\$QUERY_STRING" in
  cmd=getmotorrange) printf 'var flip="%s";\r\nvar mirror="%s";\r\n' "\$flip" "\$mirror" ;;
  cmd=setmotorrange*)
    f=\$(echo "\$QUERY_STRING" | sed -n 's/.*-flip=\([01]\).*/\1/p')
    m=\$(echo "\$QUERY_STRING" | sed -n 's/.*-mirror=\([01]\).*/\1/p')
    echo "\$f \$m" >"\$state"
    printf '[Succeed]set ok.\r\n' ;;
  *) printf 'unknown\r\n' ;;
esac
CGI
  chmod 755 "$1/param.cgi"
}

wait_port() {
  for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

failed=0
# query, set, query again: the values must come back as set.
exercise() {
  local label=$1 target=$2 out
  out=$(TILTWISE_PASSWORD=quillpen timeout 60 "$cli" query --json -u admin "$target" 2>&1) ||
    { echo "$out"; echo "digest-peers: $label: query failed" >&2; failed=1; return; }
  out=$(TILTWISE_PASSWORD=quillpen timeout 60 "$cli" set --verify --verify-timeout 10 --json \
    -u admin --flip on --mirror on "$target" 2>&1) ||
    { echo "$out"; echo "digest-peers: $label: set failed" >&2; failed=1; return; }
  grep -q '"verified":true' <<<"$out" ||
    { echo "$out"; echo "digest-peers: $label: set not verified" >&2; failed=1; return; }
  [ -z "${3:-}" ] || $3 || { failed=1; return; }
  out=$(TILTWISE_PASSWORD=wrong timeout 60 "$cli" query --json -u admin "$target" 2>&1) || true
  grep -q '"cause":"unauthorized"' <<<"$out" ||
    { echo "$out"; echo "digest-peers: $label: a wrong password was not refused" >&2; failed=1; return; }
  echo "digest-peers: $label: query, set, verify${3:+ (through a stale nonce)} and a refused wrong password: ok"
}

if [ -n "$lighttpd" ]; then
  for algorithm in SHA-256 MD5; do
    dir=$work/lighttpd-$algorithm
    make_site "$dir/www"
    port=$(free_port)
    printf 'admin:quillpen\n' >"$dir/users"
    cat >"$dir/lighttpd.conf" <<CONF
server.modules = ("mod_auth", "mod_authn_file", "mod_cgi")
server.bind = "127.0.0.1"
server.port = $port
server.document-root = "$dir/www"
server.errorlog = "$dir/error.log"
server.pid-file = "$dir/lighttpd.pid"
mimetype.assign = (".html" => "text/html")
cgi.assign = (".cgi" => "")
auth.backend = "plain"
auth.backend.plain.userfile = "$dir/users"
auth.require = ("/" => ("method" => "digest", "algorithm" => "$algorithm",
                        "realm" => "IPCamera", "require" => "valid-user"))
CONF
    "$lighttpd" -D -f "$dir/lighttpd.conf" >"$dir/out.log" 2>&1 &
    pids+=($!)
    if ! wait_port "$port"; then
      cat "$dir/out.log" "$dir/error.log" 2>/dev/null
      echo "digest-peers: lighttpd ($algorithm) did not start" >&2
      failed=1
      continue
    fi
    exercise "lighttpd $algorithm" "127.0.0.1:$port"
  done
else
  echo "digest-peers: lighttpd is not installed: skipped"
fi

if [ -x "$apache" ]; then
  dir=$work/apache
  make_site "$dir/www"
  port=$(free_port)
  ha1=$(printf 'admin:IPCamera:quillpen' | md5sum | cut -d' ' -f1)
  printf 'admin:IPCamera:%s\n' "$ha1" >"$dir/htdigest"
  chmod 644 "$dir/htdigest"
  user=$(id -un)
  group=$(id -gn)
  # As root it must give up its rights to someone who may still read the site.
  [ "$(id -u)" -eq 0 ] && { user=nobody; group=nogroup; chmod -R a+rX "$dir"; }
  cat >"$dir/httpd.conf" <<CONF
ServerRoot "$dir"
ServerName 127.0.0.1
Listen 127.0.0.1:$port
PidFile "$dir/httpd.pid"
ErrorLog "$dir/error.log"
User $user
Group $group
LoadModule mpm_prefork_module $modules/mod_mpm_prefork.so
LoadModule authn_core_module $modules/mod_authn_core.so
LoadModule authn_file_module $modules/mod_authn_file.so
LoadModule authz_core_module $modules/mod_authz_core.so
LoadModule authz_user_module $modules/mod_authz_user.so
LoadModule auth_digest_module $modules/mod_auth_digest.so
LoadModule cgi_module $modules/mod_cgi.so
LoadModule mime_module $modules/mod_mime.so
CustomLog "$dir/access.log" "%>s %{Authorization}i"
TypesConfig /dev/null
DocumentRoot "$dir/www"
<Directory "$dir/www">
  Options +ExecCGI
  AddHandler cgi-script .cgi
  AuthType Digest
  AuthName "IPCamera"
  AuthDigestProvider file
  AuthUserFile "$dir/htdigest"
  AuthDigestNonceLifetime 1
  Require valid-user
</Directory>
CONF
  "$apache" -f "$dir/httpd.conf" -k start >"$dir/out.log" 2>&1 || true
  if ! wait_port "$port"; then
    cat "$dir/out.log" "$dir/error.log" 2>/dev/null
    echo "digest-peers: apache2 did not start" >&2
    failed=1
  else
    # The verify runs a second after the set's nonce was issued: apache calls it stale, and
    # the one more try must get through.
    saw_stale() {
      grep -q '^401 Digest' "$dir/access.log" ||
        { cat "$dir/access.log"; echo "digest-peers: apache2: no stale nonce was met" >&2; return 1; }
    }
    exercise "apache2 MD5" "127.0.0.1:$port" saw_stale
  fi
else
  echo "digest-peers: apache2 is not installed: skipped"
fi
exit $failed
