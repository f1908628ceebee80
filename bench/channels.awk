# The channel file of the benchmark and the response comparison, in the
# plain-text format "name|number|alternate": count channels (awk -v count=N),
# some with an alternate number and names with &, quotes, < and umlauts.
BEGIN {
  for (i = 1; i <= count; i++) {
    if (i % 10 == 3) printf "Drittes Süd & Nord %d|%d|%d\n", i, i, i + 100
    else if (i % 10 == 7) printf "Kanal \"%d\" <HD>|%d|%d\n", i, i, i
    else printf "Sender %d|%d|%d\n", i, i, i
  }
}
