#!/usr/bin/env bash
# Sets up, builds and runs the main job: an unattended backup of sample data.
# Everything lives in a fresh temporary folder, which is printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/tharvel-demo-XXXXXX")
export THARVEL_HOME="$work/home"
site="$work/site"
backups="$work/backups"
mkdir -p "$THARVEL_HOME" "$site/css" "$site/img" "$site/.git" "$backups"

# Sample files folder: a small web site (the .git folder is left out of backups).
printf '<h1>Sample shop</h1>\n' > "$site/index.html"
printf 'body { margin: 0 }\n' > "$site/css/site.css"
head -c 200000 /dev/urandom > "$site/img/banner.bin"
printf '[core]\n' > "$site/.git/config"

# Database sample: none yet, so the project names no server and no database and
# the database step is skipped.
server=""
database=""

printf '[Sample shop]\r\nMySQLServer=%s\r\nMySQLPort=3306\r\nMySQLDataBase=%s\r\nMySQLUser=\r\nMySQLPassword=\r\nMySQLNewBackupEachDay=1\r\nFilesDirectory=%s\r\nBackupDirectory=%s/\r\nSkipFiles=2\r\nLastBackup=\r\n\r\n' \
  "$server" "$database" "$site" "$backups" > "$THARVEL_HOME/Tharvel.ini"

status=0
./build/tharvel -BACKUP || status=$?

echo
echo "Exit code: $status (0 all succeeded, 1 a project failed, 2 cancelled)"
echo "Backup folder: $backups/Sample shop/"
find "$backups" -mindepth 1 | sed "s|^$backups/|  |" | sort
echo "Log, holding the lines printed above: $THARVEL_HOME/TharvelLog.txt"
echo "Project file: $THARVEL_HOME/Tharvel.ini"
iconv -f UTF-16 -t UTF-8 "$THARVEL_HOME/Tharvel.ini" | tr -d '\r' | grep '^LastBackup=' | sed 's/^/  /' || true
exit "$status"
