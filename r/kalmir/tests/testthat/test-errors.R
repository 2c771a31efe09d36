ab <- function(a, b, ...) do.call(kalmir_ab, c(list(a, b), quick, list(...)))
analyse_quick <- function(data, ...) {
  do.call(kalmir_analyse, c(list(data), quick, list(...)))
}
two <- function(phase, values, ...) {
  data.frame(case = "X", phase = phase, values = values, ...)
}

test_that("the library's own messages come through as R errors", {
  expect_error(ab(1, c(2, 3)),
               "^the A phase has 1 measurement; 2 to 500 are needed$")
  expect_error(ab(1:2, 1:501),
               "^the B phase has 501 measurements; 2 to 500 are needed$")
  expect_error(ab(c(1, NaN), c(2, 3)),
               "^value 2 of the A phase is not a finite number$")
  expect_error(ab(c(1, 2), c(Inf, 3)),
               "^value 1 of the B phase is not a finite number$")
  expect_error(ab(c(1, 2), c(2e9, 3)),
               "^value 1 of the B phase \\(2e\\+09\\) lies beyond 1e9 in magnitude, the largest accepted$")
  expect_error(kalmir_ab(1:3, 4:6, resamples = 1),
               "^the resamples and the simulated cases must be at least 2$")
  expect_error(kalmir_ab(1:3, 4:6, cases = 0),
               "^the resamples and the simulated cases must be at least 2$")
  expect_error(kalmir_ab(1:3, 4:6, threads = -1),
               "^the threads must be 0 or more$")
  # Labels go into the messages.
  expect_error(ab(1, 2:3, phase_a = "Baseline"),
               "^the Baseline phase has 1 measurement")
  expect_error(ab(numeric(), c(2, 3)),
               "^the A phase has 0 measurements; 2 to 500 are needed$")
  # Missing values do not count.
  expect_error(ab(c(1, NA), 2:3), "^the A phase has 1 measurement")
})

test_that("arguments that cannot be used say so", {
  expect_error(ab("1", 2:3), "^a must be a numeric vector \\(it is of type character\\)$")
  expect_error(ab(1:2, factor(2:3)), "^b must be a numeric vector \\(it is a factor\\)$")
  expect_error(kalmir_ab(1:2, 3:4, colour = "red"),
               "^kalmir_ab has no option 'colour'; it takes name, phase_a")
  expect_error(kalmir_ab(1:2, 3:4, 5), "^kalmir_ab takes a, b and named options only$")
  expect_error(ab(1:2, 3:4, name = NA_character_), "^name must be one string$")
  expect_error(ab(1:2, 3:4, improvement = "up"),
               "^improvement must be \"increase\" or \"decrease\"$")
  expect_error(kalmir_ab(1:2, 3:4, resamples = 2.5),
               "^resamples must be one whole number$")
  expect_error(kalmir_ab(1:2, 3:4, cases = NA), "^cases must be one whole number$")
  expect_error(kalmir_ab(1:2, 3:4, threads = "2"), "^threads must be one whole number$")
  expect_error(ab(1:2, 3:4, phase_a = ""), "^phase_a must be one label")
  expect_error(ab(1:2, 3:4, phase_b = c("B", "C")), "^phase_b must be one label")
  expect_error(ab(1:2, 3:4, phase_a = "x", phase_b = "X"),
               "^phase_a and phase_b are both \"x\"; the phases need two labels$")
  expect_error(kalmir_analyse(1:10), "^data must be a data frame")
  expect_error(kalmir_analyse(list()), "^data is an empty list$")
  expect_error(kalmir_analyse(data.frame(phase = character(), values = numeric())),
               "^data has no rows$")
  expect_error(analyse_quick(list(P = data.frame(phase = "A", values = 1), P = 2)),
               "^the list names the case \"P\" more than once$")
  expect_error(analyse_quick(list(P = 1:3)), "^case \"P\" is not a data frame")
  expect_warning(r <- analyse_quick(list(P = data.frame(phase = c("A", "A", "B", "B"),
                                                        values = 1:4),
                                         Q = data.frame(phase = character(),
                                                        values = numeric()))),
                 "case \"Q\": no measurements (the data frame has no rows)",
                 fixed = TRUE)
  expect_error(analyse_quick(two("A", 1), case = "who"),
               "^data has no column \"who\" \\(case\\)$")
  expect_error(analyse_quick(data.frame(case = c("X", NA), phase = "A", values = 1)),
               "^row 2: the case column \"case\" is empty$")
  expect_error(analyse_quick(two("A", 1), values = "y"),
               "^case \"X\": no column \"y\"$")
  expect_error(analyse_quick(two(c("A", "B"), c("1", "2"))),
               "^case \"X\": the values column \"values\" is not numeric \\(it is of type character\\)$")
  expect_error(analyse_quick(two(c("A", "B"), 1:2), mt = "time"),
               "^case \"X\": no column \"time\" \\(mt\\)$")
  expect_error(analyse_quick(two(c("A", "B"), 1:2, mt = c("1", "2"))),
               "^case \"X\": the mt column \"mt\" is not numeric")
})

test_that("a case that cannot be analysed is a row with the reason, and a warning", {
  good <- two(c("A", "A", "B", "B"), c(1, 2, 4, 5))
  good$case <- "Good"
  bad <- function(...) rbind(good, two(...))
  expect_reason <- function(data, reason, ...) {
    expect_warning(r <- analyse_quick(data, ...),
                   paste0("not analysed: case \"X\": ", reason), fixed = TRUE)
    expect_identical(r$status, c("ok", "error"))
    expect_identical(r$notes[2], reason)
    expect_true(all(is.na(r[2, c("n_a", "d", "p", "direction")])))
    # Alone, the same case is an error (its rows numbered from 1 then).
    err <- tryCatch(analyse_quick(data[data$case == "X", ], ...),
                    error = conditionMessage)
    expect_identical(gsub("[0-9]+", "#", err), gsub("[0-9]+", "#", reason))
  }
  expect_reason(bad(c("A", "A", "A"), 1:3),
                "no B phase (the phase column holds only A)")
  expect_reason(bad(c("B", "B"), 1:2),
                "no A phase (the phase column holds only B)")
  expect_reason(bad(c("A", "C", "B"), 1:3),
                "row 6: phase \"C\" is neither A nor B (phase_a and phase_b set the labels)")
  expect_reason(bad(c("A", NA, "B"), 1:3), "row 6: no phase on this row")
  expect_reason(bad(c("B", "A", "B"), 1:3),
                "row 5: phase B begins before phase A; the A phase (baseline) comes first")
  expect_reason(bad(c("A", "B", "A", "B"), 1:4),
                "row 7: phase A again after phase B began (on row 6); a case has one A phase, then one B phase")
  with_mt <- function(phase, mt) {
    g <- good
    g$mt <- 1:4
    rbind(g, two(phase, seq_along(phase), mt = mt))
  }
  expect_reason(with_mt(c("A", "A", "B", "B"), c(1, 2, 2, 3)),
                "row 7: mt 2 is also on row 6")
  expect_reason(with_mt(c("A", "A", "B", "B"), c(1, NA, 3, 4)),
                "row 6: no mt on this row")
  expect_reason(with_mt(c("A", "A", "B", "B"), c(1, Inf, 3, 4)),
                "row 6: mt Inf is not a number")
  expect_reason(with_mt(c("A", "B", "A", "B"), c(4, 3, 2, 1)),
                "row 8: phase B begins before phase A in mt order; the A phase (baseline) comes first")
  expect_reason(with_mt(c("A", "B", "A", "B"), c(1, 2, 3, 4)),
                "row 7: phase A again after phase B began in mt order (on row 6); a case has one A phase, then one B phase")
  expect_reason(bad(c("A", "B", "B"), 1:3),
                "the A phase has 1 measurement; 2 to 500 are needed")
  expect_reason(bad(c("A", "A", "B", "B"), c(1, 2, 3, NaN)),
                "value 2 of the B phase is not a finite number")
})

test_that("when no case can be analysed, the error names each", {
  data <- data.frame(case = c("P", "P", "Q", "Q"), phase = c("A", "A", "B", "B"),
                     values = 1:4)
  expect_error(analyse_quick(data),
               "^no case could be analysed: case \"P\": no B phase \\(the phase column holds only A\\); case \"Q\": no A phase")
})
