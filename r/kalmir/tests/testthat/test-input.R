analyse_quick <- function(data, ...) {
  do.call(kalmir_analyse, c(list(data), quick, list(...)))
}

figures <- function(r) {
  r[, setdiff(names(r), c("notes")), drop = FALSE]
}

test_that("a list of data frames gives what the long form gives", {
  long <- study()
  long <- long[long$case != "Dev", ]
  cases <- lapply(split(long, factor(long$case, unique(long$case))),
                  function(d) d[, c("mt", "phase", "values")])
  from_long <- analyse_quick(long)
  from_list <- analyse_quick(cases)
  expect_identical(unclass(from_list), unclass(from_long))
  # Without mt the rows' order is the time order.
  no_mt <- lapply(cases, function(d) d[order(d$mt), c("phase", "values")])
  expect_identical(unclass(analyse_quick(no_mt)), unclass(from_long))
})

test_that("rows are put in mt order, and the case order is the data's", {
  long <- study()
  long <- long[long$case %in% c("Cleo", "Ann"), ]
  shuffled <- long[c(seq(nrow(long), 1, by = -2), seq(nrow(long) - 1, 1, by = -2)), ]
  expect_identical(analyse_quick(long)$case, c("Ann", "Cleo"))
  expect_identical(figures(analyse_quick(shuffled)),
                   figures(analyse_quick(long)), ignore_attr = TRUE)
  # Without mt, the shuffled rows are no cases at all.
  expect_error(analyse_quick(shuffled, mt = NULL), "^no case could be analysed")
})

test_that("missing values are left out and noted; the rest is analysed as it stands", {
  with_na <- data.frame(phase = rep(c("A", "B"), c(5, 6)),
                        values = c(1, NA, 3, 2, 4, 5, NA, NA, 6, 8, 7))
  without <- with_na[!is.na(with_na$values), ]
  r <- analyse_quick(with_na)
  expect_identical(r$notes, "3 missing values (NA) left out, at occasions 2, 7 and 8")
  expect_identical(c(r$n_a, r$n_b), c(4L, 4L))
  expect_identical(figures(r), figures(analyse_quick(without)),
                   ignore_attr = TRUE)
  one <- do.call(kalmir_ab, c(list(c(1, 2, NA, 4), c(4, 6, 5)), quick))
  expect_identical(one$notes, "1 missing value (NA) left out, at occasion 3")
})

test_that("phase labels match without case and blanks; other labels can be set", {
  lower <- data.frame(phase = c("a", " A", "a", "b", "B ", "b"),
                      values = c(1, 2, 2, 4, 5, 5))
  r <- analyse_quick(lower)
  named <- data.frame(phase = factor(rep(c("Baseline", "Treatment"), each = 3)),
                      values = c(1, 2, 2, 4, 5, 5))
  r2 <- analyse_quick(named, phase_a = "baseline", phase_b = "treatment")
  expect_identical(figures(r2), figures(r), ignore_attr = TRUE)
  expect_match(attr(r2, "analyses")[[1]]$report, "SIMULATING CASES")
})

test_that("columns can have other names, and a data frame without a case column is one case", {
  d <- data.frame(who = "P1", t = 4:1, stage = c("B", "B", "A", "A"),
                  y = c(9, 8, 2, 1))
  r <- analyse_quick(d, case = "who", phase = "stage", values = "y", mt = "t")
  expect_identical(r$case, "P1")
  single <- d[, c("t", "stage", "y")]
  r2 <- kalmir_analyse(single, phase = "stage", values = "y", mt = "t",
                       resamples = quick$resamples, cases = quick$cases,
                       threads = 1)
  expect_identical(r2$case, "single")
  expect_identical(r2$d, r$d)
})

test_that("a value a float cannot hold exactly is noted, as the library notes it", {
  r <- do.call(kalmir_ab, c(list(c(1 / 3, 2, 3), c(4, 5)), quick))
  expect_match(r$notes, "is held as 0.33333334; a single-precision float",
               fixed = TRUE)
  expect_identical(attr(r, "analyses")[[1]]$values[1], f32(1 / 3))
})

test_that("improvement is kept with the table", {
  r <- do.call(kalmir_ab, c(list(worked_a, worked_b, improvement = "decrease"),
                            quick))
  expect_identical(attr(r, "improvement"), "decrease")
  expect_identical(r$improvement, "decrease")
})
