# Sourced by scripts/test: two private PostgreSQL clusters on the loopback interface, reached
# through unixODBC without the driver manager's own pool, as sites have it (private odbcinst.ini, nothing of the
# system's touched).
#   WEBQUORREL_TEST_PG_CONN / _LOG / _CTL              the cluster most tests share
#   WEBQUORREL_TEST_PG_FAULT_CONN / _FAULT_CTL         a cluster the fault tests stop and start
source "$root/scripts/lib/pg-cluster"
pg_odbc_config "$WEBQUORREL_TEST_TMP/odbc"

pg_cluster_start "$WEBQUORREL_TEST_TMP/pg-main"
at_exit "$pg_ctl" stop
export WEBQUORREL_TEST_PG_CONN=$pg_conn WEBQUORREL_TEST_PG_LOG=$pg_log WEBQUORREL_TEST_PG_CTL=$pg_ctl

pg_cluster_start "$WEBQUORREL_TEST_TMP/pg-fault"
at_exit "$pg_ctl" stop
export WEBQUORREL_TEST_PG_FAULT_CONN=$pg_conn WEBQUORREL_TEST_PG_FAULT_CTL=$pg_ctl
echo "PostgreSQL on 127.0.0.1 (main and fault clusters), ODBC config in $ODBCSYSINI"
