#!/usr/bin/env python3
"""Turns a generated common-format log into the same traffic as a squid
proxy and an IIS server would have logged it.

    parva_genlog 20000 10 7 | sample_formats.py DIR

writes DIR/squid.log (squid's native format) and DIR/w3c.log (W3C extended,
with its Fields directive, times in UTC), for the demo of those formats.
"""
import os
import re
import sys
from datetime import datetime, timezone

LINE = re.compile(
    r'^(\S+) \S+ (\S+) \[([^]]+)\] "(\S+) (\S+)[^"]*" (\d+) (\d+|-)(?: "([^"]*)" "([^"]*)")?'
)


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[3].strip(), file=sys.stderr)
        return 2
    out = sys.argv[1]
    with open(os.path.join(out, "squid.log"), "w") as squid, open(
        os.path.join(out, "w3c.log"), "w", newline="\r\n"
    ) as w3c:
        w3c.write("#Software: Microsoft Internet Information Services 10.0\n")
        w3c.write("#Version: 1.0\n")
        w3c.write(
            "#Fields: date time c-ip cs-username cs-method cs-uri-stem cs-uri-query "
            "sc-status sc-bytes cs(User-Agent) cs(Referer)\n"
        )
        for line in sys.stdin:
            m = LINE.match(line)
            if not m:
                continue
            host, user, when, method, url, status, size, referrer, agent = m.groups()
            moment = datetime.strptime(when, "%d/%b/%Y:%H:%M:%S %z")
            size = "0" if size == "-" else size
            stem, _, query = url.partition("?")
            squid.write(
                "%d.%03d %5d %s TCP_MISS/%s %s %s http://www.example.pl%s %s DIRECT/192.0.2.1 text/html\n"
                % (moment.timestamp(), 0, 12, host, status, size, method, url, user)
            )
            utc = moment.astimezone(timezone.utc)
            w3c.write(
                "%s %s %s %s %s %s %s %s %s %s %s\n"
                % (
                    utc.strftime("%Y-%m-%d"),
                    utc.strftime("%H:%M:%S"),
                    host,
                    user,
                    method,
                    stem,
                    query or "-",
                    status,
                    size,
                    (agent or "-").replace(" ", "+"),
                    (referrer or "-").replace(" ", "+"),
                )
            )
    return 0


if __name__ == "__main__":
    sys.exit(main())
