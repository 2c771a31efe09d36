test_that("the worked example gives the command line's figures bit for bit", {
  cli <- cli_study()
  for (threads in 1:2) {
    r <- kalmir_ab(worked_a, worked_b, name = "Ann", threads = threads)
    expect_same_rows(r, cli[1, ])
    # Two figures as the golden records hold them (tests/golden).
    expect_identical(r$d, 0x1.62bea6p+1)
    expect_identical(r$null_mean, 0x1.500378p+3)
  }
})

test_that("examples/study.csv read with read.csv gives the command line's table", {
  cli <- cli_study()
  for (threads in 1:2) {
    r <- suppressWarnings(kalmir_analyse(study(), threads = threads))
    expect_same_rows(r, cli)
    # Its own wording where the command line names the file.
    expect_identical(r$notes[4], "no B phase (the phase column holds only A)")
  }
})

test_that("improvement = \"decrease\" gives the command line's indices for it", {
  cli <- cli_study("study-cli-decrease.csv")
  r <- suppressWarnings(kalmir_analyse(study(), improvement = "decrease",
                                       threads = 2))
  expect_same_rows(r, cli)
  expect_identical(r$improvement[1:3], rep("decrease", 3))
  expect_false(isTRUE(all.equal(r$nap[1:3], as.numeric(cli_study()$nap[1:3]))))
})

test_that("the table has the command line's columns, and each its type", {
  r <- do.call(kalmir_ab, c(list(worked_a, worked_b), quick))
  expect_identical(names(r), names(cli_study()))
  expect_s3_class(r, "data.frame")
  expect_s3_class(r, "kalmir")
  expect_type(r$n_a, "integer")
  expect_type(r$d, "double")
  expect_type(r$nap, "double")
  expect_type(r$direction, "character")
  expect_identical(r$direction, "increase")
})

test_that("the simulated means are kept, and agree with their summaries", {
  r <- do.call(kalmir_ab, c(list(worked_a, worked_b), quick))
  a <- attr(r, "analyses")[["AB"]]
  expect_length(a$null_means, quick$cases)
  expect_length(a$exp_means, quick$cases)
  expect_identical(a$null_means, f32(a$null_means))
  expect_equal(mean(a$null_means), r$null_mean, tolerance = 1e-5)
  expect_equal(mean(a$exp_means), r$exp_mean, tolerance = 1e-5)
  expect_identical(a$values, c(worked_a, worked_b))
})
