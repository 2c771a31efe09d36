results <- function() {
  suppressWarnings(do.call(kalmir_analyse, c(list(study()), quick)))
}

test_that("print shows each case's report and notes, and why a case was not analysed", {
  r <- results()
  out <- capture.output(print(r))
  a <- attr(r, "analyses")
  expect_identical(out[1], "== Ann")
  report_lines <- strsplit(a$Ann$report, "\n")[[1]]
  expect_identical(out[1 + seq_along(report_lines)], report_lines)
  expect_true("Note: 1 missing value (NA) left out, at mt 5." %in% out)
  expect_true(paste("Note: mt is not evenly spaced (steps of 1 to 2); the",
                    "analysis takes the measurements as equally spaced",
                    "occasions.") %in% out)
  expect_true("Not analysed: no B phase (the phase column holds only A)." %in% out)
  expect_identical(sum(out == "CALCULATING EFFECT SIZE..."), 3L)
})

test_that("summary is a compact table in the report's rounding", {
  r <- results()
  s <- summary(r)
  expect_s3_class(s, "summary.kalmir")
  expect_identical(s$d, r$d)
  out <- capture.output(print(s))
  expect_match(out[1], "case +status +n_a +n_b +d_unstd +d +d_se")
  expect_match(out[2], "^ +Ann +ok +10 +8( +-?[0-9]+\\.[0-9]{3}){5} +increase +[0-9]\\.[0-9]{3}$")
})

test_that("rows taken from the table keep their analyses", {
  r <- results()
  two <- r[r$case %in% c("Cleo", "Ben"), ]
  expect_s3_class(two, "kalmir")
  expect_identical(names(attr(two, "analyses")), c("Ben", "Cleo"))
  expect_identical(capture.output(print(two))[1], "== Ben")
  expect_false(inherits(r[, c("d", "p")], "kalmir"))
  expect_false(inherits(r[1], "kalmir"))
})

test_that("plot draws both panels of every analysed case on any device", {
  r <- results()
  grDevices::pdf(NULL)
  on.exit(grDevices::dev.off())
  expect_silent(plot(r, ask = FALSE))
  expect_silent(plot(r, case = "Ben", which = 2, bins = 10))
  expect_silent(plot(r, case = 1, which = 1))
  expect_error(plot(r, case = "Dev"), "^no analysis of case \"Dev\" to plot$")
  expect_error(plot(r, which = 3), "^which must be 1")
  # Constant data: the means do not vary.
  flat <- do.call(kalmir_ab, c(list(c(5, 5, 5), c(5, 5, 5)), quick))
  expect_silent(plot(flat))
})
