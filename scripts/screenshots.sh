#!/usr/bin/env bash
# Takes the screenshots in docs/ (the settings window's three tabs, the
# check-address editor, the password prompt, the version window) under Xvfb,
# with sample settings and a stand-in mailbox folder of two accounts; then the
# balloon and the results window after a check of a private Dovecot.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-env.sh
zepho_start_test_session >/dev/null 2>&1
B=build/$ZEPHO_WINE_ARCH
cmake --build --preset "$ZEPHO_WINE_ARCH" >/dev/null
D=$PWD/build/screenshots; rm -rf $D; mkdir -p $D/corvel/Mailbox/Account1 $D/corvel/Mailbox/Account2
cp $B/ZEPHO.exe $D/
printf '[Property]\r\nTitle=仕事\r\n' | iconv -f UTF-8 -t CP932 > $D/corvel/Mailbox/Account1/Account.ini
printf '[Property]\r\nTitle=自宅\r\n' | iconv -f UTF-8 -t CP932 > $D/corvel/Mailbox/Account2/Account.ini
$ZEPHO_WINE reg add 'HKCU\Software\MOREX\Corvel' /v MailboxPath /d "Z:${D//\//\\}\\corvel" /f >/dev/null 2>&1
printf '[NETWORK]\r\nPopAddress="pop.example.jp"\r\nPopAcount="taro"\r\nPopPort=110\r\nApop=1\r\nPasswd=\r\n[OTHER]\r\nRecvSleep=0\r\nPopTime=5\r\nIconChange=1\r\nAllIconChange=1\r\nRecvDo=1\r\nAccountTitle="仕事"\r\n[CHECKADDRESS]\r\nSettingNumber=3\r\nCheckString1="From:"\r\nCheckString1+A="boss@example.jp"\r\nCheckString2="X-ML-Name:"\r\nCheckString2+A="zepho-dev"\r\nCheckString3="To:"\r\nCheckString3+A="taro@example.jp"\r\n' | iconv -f UTF-8 -t CP932 > $D/ZEPHO.ini
OUT=docs
DRV="$ZEPHO_WINE $B/tests/fixtures/ui_driver.exe"
crop() { # title file
  read x y w h < <($DRV rect "$1" | tr -d '\r')
  import -window root -crop ${w}x${h}+$x+$y +repage -colors 64 PNG8:"$2"
}
$ZEPHO_WINE $D/ZEPHO.exe >/dev/null 2>&1 &
P="ZEPHO - パスワード入力"; S="ZEPHO設定"; E="ZEPHO - チェックアドレスの設定"
$DRV wait "$P" 20; sleep 0.3
$DRV settext "$P" "secret"; sleep 0.5
crop "$P" $OUT/password-prompt.png
$DRV key "$P" escape
$DRV wait "$S" 20; sleep 0.5
$DRV settext "$S" "pop.example.jp"
$DRV setitem "$S" 118 "secret"
$DRV key "$S" down 132; sleep 0.5
crop "$S" $OUT/settings-check-addresses.png
$DRV tab "$S" 0; sleep 0.5
crop "$S" $OUT/settings-connection.png
$DRV tab "$S" 2; sleep 0.5
crop "$S" $OUT/settings-other.png
$DRV tab "$S" 1; sleep 0.3
$DRV key "$S" enter 132
$DRV wait "$E" 10; sleep 0.5
crop "$E" $OUT/check-address-editor.png
$DRV key "$E" escape
$DRV click "$S" "バージョン"
$DRV wait "バージョン情報" 10; sleep 0.5
crop "バージョン情報" $OUT/version-window.png
$DRV key "バージョン情報" escape
$DRV close "$S"
sleep 1
$ZEPHO_WINE reg delete 'HKCU\Software\MOREX\Corvel' /v MailboxPath /f >/dev/null 2>&1

# The balloon and the results window: a check of three messages, one from a
# check address, with Balloon=1.
R=$D/results; mkdir -p $R
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
M=$(mktemp -d /tmp/zs.XXXXXX)
bash scripts/dovecot.sh start $M $PORT user secret >/dev/null
trap 'bash scripts/dovecot.sh stop $M >/dev/null 2>&1; rm -rf $M; zepho_stop' EXIT
python3 - $M <<'PY'
import base64, sys
def word(text, charset):
    data = text.encode("iso2022_jp" if charset == "ISO-2022-JP" else charset)
    return "=?%s?B?%s?=" % (charset, base64.b64encode(data).decode())
messages = [
    ("someone@example.org", "weekly report", "Mon, 6 May 2024 09:12:40 +0900"),
    (word("山田部長", "ISO-2022-JP") + " <boss@example.jp>", word("会議の件について", "ISO-2022-JP"),
     "Mon, 6 May 2024 10:00:00 +0900"),
    (word("ZEPHO 開発チーム", "UTF-8") + " <dev@example.net>", word("お知らせ: 新しい版 ①", "UTF-8"),
     "Mon, 6 May 2024 11:30:05 +0900"),
]
for i, (sender, subject, date) in enumerate(messages, 1):
    with open("%s/shot%d.eml" % (sys.argv[1], i), "wb") as f:
        f.write(("From: %s\r\nSubject: %s\r\nDate: %s\r\n\r\nbody\r\n" % (sender, subject, date)).encode())
PY
for i in 1 2 3; do bash scripts/dovecot.sh add $M user $i $M/shot$i.eml >/dev/null; done
cp $B/ZEPHO.exe $R/
PW=$(python3 -c 'import sys; sys.path.insert(0, "tests/e2e"); from harness import stored_password; print(stored_password("secret"))')
printf '[NETWORK]\r\nPopAddress="127.0.0.1"\r\nPopAcount="user"\r\nPopPort=%s\r\nApop=0\r\nPasswd=%s\r\n[OTHER]\r\nRecvSleep=0\r\nIconChange=1\r\nBalloon=1\r\n[CHECKADDRESS]\r\nSettingNumber=1\r\nCheckString1="From:"\r\nCheckString1+A="boss@example.jp"\r\n' "$PORT" "$PW" > $R/ZEPHO.ini
$ZEPHO_WINE $R/ZEPHO.exe >/dev/null 2>&1 &
xdotool mousemove 400 300 >/dev/null 2>&1 || true
for i in $(seq 50); do [ -n "$($DRV balloons - | tr -d '\r\n')" ] && break; sleep 0.2; done
sleep 0.5
import -window root -crop 372x120+652+648 +repage -colors 64 PNG8:$OUT/balloon.png
# A click on the balloon, as the shell tells it (Wine's tray does not).
$DRV tray ZEPHOApplication 1029
$DRV wait "ZEPHO - チェック結果" 10; sleep 0.5
crop "ZEPHO - チェック結果" $OUT/results-window.png
$DRV close "$S"
sleep 1
