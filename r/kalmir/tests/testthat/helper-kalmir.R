# The worked example: ten baseline measurements, then eight.
worked_a <- c(3, 5, 4, 6, 5, 7, 6, 8, 7, 9)
worked_b <- c(10, 9, 12, 11, 13, 12, 15, 14)

# Small sizes for tests that are not about the figures themselves.
quick <- list(resamples = 200, cases = 500, threads = 1)

# The float nearest each double, as a double: the figures of the analysis
# are floats, so each must be one, and a decimal the command line wrote
# names exactly one.
f32 <- function(x) {
  readBin(writeBin(as.double(x), raw(), size = 4), "double", size = 4,
          n = length(x))
}

study <- function() {
  utils::read.csv(system.file("extdata", "study.csv", package = "kalmir"))
}

# The table the command line wrote for examples/study.csv at the full
# sizes (kalmir -f csv study.csv; the same on -j 1 and -j 2), every column
# read as text.
cli_study <- function(file = "study-cli.csv") {
  utils::read.csv(test_path(file), colClasses = "character")
}

# A double of the table against the command line's text: a figure of the
# analysis is a float, written as the shortest decimal that names it; the
# indices are doubles, written as the shortest decimal that names them.
same_double <- function(got, text) {
  want <- as.numeric(text)
  identical(got, want) ||
    (identical(got, f32(got)) && identical(got, f32(want)))
}

# Every column of the command line's rows, the figures bit for bit.
expect_same_rows <- function(result, cli) {
  expect_identical(result$case, cli$case)
  expect_identical(result$status, cli$status)
  ok <- cli$status == "ok"
  for (column in names(cli)) {
    got <- result[[column]][ok]
    want <- cli[[column]][ok]
    if (is.double(got)) {
      expect_true(all(mapply(same_double, got, want)), label = column)
    } else if (is.integer(got)) {
      expect_identical(got, as.integer(want), label = column)
    } else {
      expect_identical(got, want, label = column)
    }
  }
}
