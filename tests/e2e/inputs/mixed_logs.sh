# mixed.log and its gzip and bzip2 copies: two records, a comment, a line that
# is no record, a record too old and a last record without a newline.
{
    record 1
    record 2
    echo '# a comment'
    echo 'not a record'
    printf '10.0.0.9 - - [09/Oct/1989:13:55:36 -0700] "GET / HTTP/1.0" 200 1\n'
    printf '10.0.0.3 - - [03/Oct/2000:13:55:36 -0700] "GET /x HTTP/1.0" 200 1 "-" "last line"'
} > mixed.log
gzip -c mixed.log > mixed.log.gz
bzip2 -c mixed.log > mixed.log.bz2
