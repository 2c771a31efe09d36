# The R package against the command line: the same data files read with
# read.csv give the same table, every figure bit for bit, and print() gives
# the command line's report of every analysed case.
# Usage: Rscript r_same_figures.R LIBRARY DATA.csv CLI.csv CLI-REPORT.txt THREADS
args <- commandArgs(TRUE)
library(kalmir, lib.loc = args[1])
data <- read.csv(args[2])
cli <- read.csv(args[3], colClasses = "character")
cli_report <- readLines(args[4])
threads <- as.integer(args[5])

# The float a double rounds to, as a double.
f32 <- function(x) {
  readBin(writeBin(as.double(x), raw(), size = 4), "double", size = 4,
          n = length(x))
}

r <- suppressWarnings(kalmir_analyse(data, threads = threads))
problems <- character()
differ <- function(what) problems <<- c(problems, what)
if (!identical(names(r), names(cli))) differ("the columns")
if (!identical(r$case, cli$case) || !identical(r$status, cli$status)) {
  differ("the cases or their status")
}
ok <- cli$status == "ok"
for (column in intersect(names(r), names(cli))) {
  got <- r[[column]][ok]
  want <- cli[[column]][ok]
  # A figure is a float, written as the shortest decimal that names it;
  # an index is a double, written likewise.
  same <- if (is.double(got)) {
    all(mapply(function(g, w) {
      identical(g, as.numeric(w)) ||
        (identical(g, f32(g)) && identical(g, f32(as.numeric(w))))
    }, got, want))
  } else if (is.integer(got)) {
    identical(got, as.integer(want))
  } else {
    identical(got, want)
  }
  if (!same) differ(sprintf("column %s: %s against %s", column,
                            paste(sprintf("%a", got), collapse = " "),
                            paste(want, collapse = " ")))
}
# The report of each analysed case, from its "==" line to the next.
cases_of <- function(lines) {
  starts <- grep("^== ", lines)
  parts <- split(lines, cumsum(seq_along(lines) %in% starts))
  names(parts) <- sub("^== ", "", vapply(parts, `[`, "", 1))
  parts
}
printed <- cases_of(capture.output(print(r)))
expected <- cases_of(cli_report)
for (name in r$case[ok]) {
  if (is.null(expected[[name]]) ||
      !identical(printed[[name]], expected[[name]])) {
    differ(sprintf("the report of case %s", name))
  }
}
if (length(problems) > 0L) {
  cat("FAIL", basename(args[2]), "on", threads, "threads:",
      paste(problems, collapse = "; "), "\n")
  quit(status = 1)
}
cat("ok  ", basename(args[2]), "on", threads, "threads:", sum(ok),
    "cases, every figure and report the command line's\n")
