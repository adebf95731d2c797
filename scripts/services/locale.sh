# Sourced by scripts/test: a German locale (decimal comma) compiled into the test folder, for tests
# that check numbers are read the same whatever LC_NUMERIC a host set. Nothing of the system's is
# touched; tests point LOCPATH at WEBQUORREL_TEST_LOCPATH while they need it.
if command -v localedef >/dev/null; then
  mkdir -p "$WEBQUORREL_TEST_TMP/locale"
  localedef -i de_DE -f UTF-8 "$WEBQUORREL_TEST_TMP/locale/de_DE.UTF-8" 2>/dev/null || true
  export WEBQUORREL_TEST_LOCPATH=$WEBQUORREL_TEST_TMP/locale
  echo "locale de_DE.UTF-8 in $WEBQUORREL_TEST_LOCPATH"
fi
