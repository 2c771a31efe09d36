library(testthat)
library(kalmir)

test_check("kalmir")
