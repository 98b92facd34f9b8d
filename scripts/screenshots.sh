#!/usr/bin/env bash
# Takes the screenshots in docs/ (the settings window's three tabs, the
# check-address editor, the password prompt, the version window) under Xvfb,
# with sample settings and a stand-in mailbox folder of two accounts.
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
