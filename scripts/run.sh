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

# Database sample: a throwaway MariaDB server (its own data directory and port on
# 127.0.0.1) with a small shop database, stopped again when this script ends.
db_dir="$work/mariadb"
bash scripts/test-mariadb.sh start "$db_dir"
trap 'bash scripts/test-mariadb.sh stop "$db_dir"' EXIT
mariadb --no-defaults -uroot -S "$db_dir/sock" <<'SQL'
SET NAMES utf8mb4;
CREATE DATABASE shop CHARACTER SET utf8mb4;
USE shop;
CREATE TABLE customers (id INT AUTO_INCREMENT PRIMARY KEY, name VARCHAR(80) NOT NULL, email VARCHAR(120),
  created DATETIME NOT NULL);
CREATE TABLE products (id INT AUTO_INCREMENT PRIMARY KEY, name VARCHAR(80) NOT NULL, price DECIMAL(10,2) NOT NULL,
  description TEXT, picture BLOB);
CREATE TABLE orders (id INT AUTO_INCREMENT PRIMARY KEY, customer_id INT NOT NULL, placed TIMESTAMP NOT NULL,
  FOREIGN KEY (customer_id) REFERENCES customers (id));
CREATE TABLE order_items (order_id INT NOT NULL, product_id INT NOT NULL, quantity INT NOT NULL,
  PRIMARY KEY (order_id, product_id), FOREIGN KEY (order_id) REFERENCES orders (id),
  FOREIGN KEY (product_id) REFERENCES products (id));
CREATE VIEW order_totals AS SELECT o.id AS order_id, SUM(i.quantity * p.price) AS total
  FROM orders o JOIN order_items i ON i.order_id = o.id JOIN products p ON p.id = i.product_id GROUP BY o.id;
INSERT INTO customers (name, email, created) VALUES ('Ann O''Brien', 'ann@example.com', '2024-01-05 10:00:00'),
  ('Jürgen Müller', 'jm@example.de', '2024-02-11 16:30:00'), ('Zoë 😀', NULL, '2024-03-01 08:15:00');
INSERT INTO products (name, price, description, picture) VALUES ('Tea pot', 24.90, 'Holds 1.2 l.\nDishwasher safe.', UNHEX('89504E47')),
  ('Cup', 6.50, 'White "classic"', NULL), ('Spoon', 1.99, NULL, NULL);
INSERT INTO orders (customer_id, placed) VALUES (1, '2024-04-01 12:00:00'), (2, '2024-04-02 09:30:00');
INSERT INTO order_items VALUES (1, 1, 1), (1, 2, 4), (2, 3, 12);
CREATE USER 'shop'@'%' IDENTIFIED BY '';
GRANT SELECT, SHOW VIEW ON shop.* TO 'shop'@'%';
SQL
server=127.0.0.1
port=$(cat "$db_dir/port")
database=shop
user=shop

printf '[Sample shop]\r\nMySQLServer=%s\r\nMySQLPort=%s\r\nMySQLDataBase=%s\r\nMySQLUser=%s\r\nMySQLPassword=\r\nMySQLNewBackupEachDay=1\r\nFilesDirectory=%s\r\nBackupDirectory=%s/\r\nSkipFiles=2\r\nLastBackup=\r\n\r\n' \
  "$server" "$port" "$database" "$user" "$site" "$backups" > "$THARVEL_HOME/Tharvel.ini"

status=0
./build/tharvel -BACKUP || status=$?

echo
echo "Exit code: $status (0 all succeeded, 1 a project failed, 2 cancelled)"
echo "Backup folder: $backups/Sample shop/"
find "$backups" -mindepth 1 | sed "s|^$backups/|  |" | sort
for dump in "$backups/Sample shop/"*.sql; do
  [ -f "$dump" ] || continue
  echo "First lines of the dump $dump:"
  head -n 40 "$dump" | tr -d '\r' | sed 's/^/  | /'
done
echo "Log, holding the lines printed above: $THARVEL_HOME/TharvelLog.txt"
echo "Project file: $THARVEL_HOME/Tharvel.ini"
iconv -f UTF-16 -t UTF-8 "$THARVEL_HOME/Tharvel.ini" | tr -d '\r' | grep '^LastBackup=' | sed 's/^/  /' || true
exit "$status"
