#!/bin/sh
# pg_run.sh PG_VIRTUALENV PYTHON COMMAND...: runs COMMAND in a throwaway
# PostgreSQL cluster of its own. Left to its defaults, pg_virtualenv run as
# root makes every cluster /etc/postgresql/VERSION/regress on the first free
# port from 5432, so two runs at once (two build folders, two checkouts) meet
# on the name or the port. -t keeps the cluster under a private temporary
# folder; the port is one the system has just handed out as free.
set -e
virtualenv=$1
python=$2
shift 2
PGPORT=$("$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
export PGPORT
exec "$virtualenv" -t "$@"
