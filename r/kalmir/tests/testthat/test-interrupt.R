test_that("a stop from the progress callback interrupts, and leaves nothing behind", {
  prepared <- kalmir:::prepare_cases(
    data.frame(phase = rep(c("A", "B"), c(10, 8)), values = c(worked_a, worked_b)),
    case = "case", phase = "phase", values = "values", mt = "mt",
    mt_required = FALSE, phase_a = "A", phase_b = "B", single_name = "W")
  settings <- kalmir:::check_settings("A", "B", "increase", 10000, 100000, 2)
  for (stop_at in c(0, 0.3, 0.9)) {
    got <- tryCatch(kalmir:::run_analyses(prepared, settings, stop_at = stop_at),
                    interrupt = function(cnd) "interrupted")
    expect_identical(got, "interrupted")
  }
  # The next analysis starts afresh.
  r <- kalmir:::run_analyses(prepared, settings)
  expect_identical(r$d, 0x1.62bea6p+1)
})
