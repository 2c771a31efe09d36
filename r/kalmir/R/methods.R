# What a kalmir table shows: the reports (print), a compact table
# (summary) and the plot of each case. The analyses behind the rows are
# kept in the attribute "analyses", by case name.

analyses_of <- function(x) {
  a <- attr(x, "analyses")
  if (is.null(a)) list() else a
}

# Rows keep their analyses as long as every column stays.
`[.kalmir` <- function(x, ...) {
  analyses <- analyses_of(x)
  improvement <- attr(x, "improvement")
  out <- NextMethod()
  if (!is.data.frame(out) || !identical(names(out), names(x))) {
    if (is.data.frame(out)) class(out) <- setdiff(class(out), "kalmir")
    return(out)
  }
  attr(out, "analyses") <- analyses[intersect(names(analyses), out$case)]
  attr(out, "improvement") <- improvement
  out
}

print.kalmir <- function(x, ...) {
  analyses <- analyses_of(x)
  for (i in seq_len(nrow(x))) {
    name <- x$case[i]
    cat("== ", name, "\n", sep = "")
    a <- analyses[[name]]
    if (identical(x$status[i], "ok") && !is.null(a)) {
      cat(a$report)
      for (note in a$notes) cat("Note: ", note, ".\n", sep = "")
    } else {
      cat("Not analysed: ", x$notes[i], ".\n\n\n", sep = "")
    }
  }
  invisible(x)
}

summary.kalmir <- function(object, ...) {
  columns <- c("case", "status", "n_a", "n_b", "d_unstd", "d", "d_se", "r",
               "r_squared", "direction", "p")
  out <- as.data.frame(unclass(object)[intersect(columns, names(object))],
                       stringsAsFactors = FALSE, optional = TRUE)
  class(out) <- c("summary.kalmir", "data.frame")
  out
}

# The figures in the report's rounding.
print.summary.kalmir <- function(x, ...) {
  shown <- as.data.frame(unclass(x), stringsAsFactors = FALSE,
                         optional = TRUE)
  for (column in names(shown)) {
    v <- shown[[column]]
    if (is.double(v)) {
      shown[[column]] <- ifelse(is.na(v) & !is.nan(v), "",
                                sprintf("%.3f", v))
    }
  }
  shown[is.na(shown)] <- ""
  print(shown, right = TRUE, row.names = FALSE)
  invisible(x)
}

# Colours that stay apart for colour-blind readers and in grey: blue for
# the A phase and the null model, orange for the B phase and the
# experimental model.
kalmir_colours <- c(a = "#0072B2", b = "#E69F00")

plot.kalmir <- function(x, case = NULL, which = 1:2, bins = 60,
                        ask = NULL, ...) {
  analyses <- analyses_of(x)
  chosen <- if (is.null(case)) {
    names(analyses)
  } else if (is.numeric(case)) {
    x$case[case]
  } else {
    case
  }
  lacking <- setdiff(chosen, names(analyses))
  if (length(lacking) > 0L) {
    stop(sprintf("no analysis of case \"%s\" to plot", lacking[1L]),
         call. = FALSE)
  }
  if (length(chosen) == 0L) stop("no analysed case to plot", call. = FALSE)
  if (!all(which %in% 1:2)) stop("which must be 1 (the series), 2 (the simulated means) or both",
                                 call. = FALSE)
  if (length(which) == 2L && all(par("mfrow") == 1L)) {
    old <- par(mfrow = c(2L, 1L), mar = c(4.1, 5.1, 4.1, 1.1))
    on.exit(par(old), add = TRUE)
  }
  if (is.null(ask)) ask <- length(chosen) > 1L && dev.interactive()
  if (ask) {
    old_ask <- devAskNewPage(TRUE)
    on.exit(devAskNewPage(old_ask), add = TRUE)
  }
  for (name in chosen) {
    a <- analyses[[name]]
    if (1L %in% which) plot_series(a, ...)
    if (2L %in% which) plot_means(a, bins, ...)
  }
  invisible(x)
}

# The y axis's title clear of its upright tick labels.
ylab_line <- function() max(par("mar")[2L] - 1.3, 1)

# "% .3f" as the report prints a figure, without the blank kept for a sign.
report_figure <- function(v) trimws(sprintf("% .3f", v))

figure_of <- function(a, column) a$row[[column]]

# The measurements, the A line, the A line carried on through the B phase
# (the null model) and the B line on the B phase's own axis.
plot_series <- function(a, ...) {
  n_a <- a$n_a
  n_b <- a$n_b
  t <- seq_len(n_a + n_b)
  y <- a$values
  t_a <- n_a
  t_end <- n_a + n_b
  null <- a$null_line
  exp <- a$exp_line
  a_line <- c(1, null[["intercept"]] + null[["slope"]],
              t_a, null[["intercept"]] + null[["slope"]] * t_a)
  null_end <- null[["intercept"]] + null[["slope"]] * t_end
  b_line <- c(t_a + 1, exp[["intercept"]] + exp[["slope"]],
              t_end, exp[["intercept"]] + exp[["slope"]] * n_b)
  ys <- c(y, a_line[c(2, 4)], null_end, b_line[c(2, 4)])
  ys <- ys[is.finite(ys)]
  ylim <- if (length(ys)) range(ys) else 0:1
  # The legend goes in the upper corner on the side the series rises away
  # from, or the lower one for a falling series, with room made for it.
  k <- max(1L, length(y) %/% 3L)
  first <- mean(y[seq_len(k)])
  last <- mean(y[length(y) - k + seq_len(k)])
  rising <- !isTRUE(last < first)
  room <- diff(ylim) * 0.4 + (diff(ylim) == 0)
  ylim <- if (rising) ylim + c(0, room) else ylim - c(room, 0)
  plot.new()
  plot.window(xlim = c(1, t_end), ylim = ylim)
  abline(v = t_a + 0.5, lty = 2, col = "grey40")
  segments(a_line[1], a_line[2], a_line[3], a_line[4],
           col = kalmir_colours[["a"]], lwd = 2)
  segments(t_a, a_line[4], t_end, null_end, col = kalmir_colours[["a"]],
           lwd = 2, lty = 2)
  segments(b_line[1], b_line[2], b_line[3], b_line[4],
           col = kalmir_colours[["b"]], lwd = 2)
  points(t[seq_len(n_a)], y[seq_len(n_a)], pch = 19,
         col = kalmir_colours[["a"]])
  points(t[n_a + seq_len(n_b)], y[n_a + seq_len(n_b)], pch = 24,
         bg = kalmir_colours[["b"]], col = "grey20")
  axis(1)
  axis(2, las = 1)
  box()
  mtext(c(a$label_a, a$label_b), side = 3, at = t_a + 0.5, line = 0.2,
        adj = c(1.3, -0.3), font = 2)
  dots <- list(...)
  main <- if ("main" %in% names(dots)) dots$main else a$name
  dots$main <- NULL
  do.call(title, c(list(main = main, line = 2.6,
                        xlab = "Measurement occasion"), dots))
  title(ylab = "Value", line = ylab_line())
  mtext(paste0("D = ", report_figure(figure_of(a, "d_unstd")),
               "    d = ", report_figure(figure_of(a, "d")),
               " (SE ", sprintf("%.3f", figure_of(a, "d_se")), ")",
               "    r = ", report_figure(figure_of(a, "r")),
               "    p = ", report_figure(figure_of(a, "p"))),
        side = 3, line = 1.4, cex = 0.8)
  legend(if (rising) "topleft" else "bottomleft", bty = "n", cex = 0.8,
         legend = c(paste(a$label_a, "phase"), paste(a$label_b, "phase"),
                    paste(a$label_a, "line"),
                    paste(a$label_a, "line carried on (null model)"),
                    paste(a$label_b, "line")),
         pch = c(19, 24, NA, NA, NA), lty = c(NA, NA, 1, 2, 1),
         lwd = c(NA, NA, 2, 2, 2), pt.bg = c(NA, kalmir_colours[["b"]], NA,
                                            NA, NA),
         col = c(kalmir_colours[["a"]], "grey20", kalmir_colours[["a"]],
                 kalmir_colours[["a"]], kalmir_colours[["b"]]))
}

# Both models' simulated B-phase means counted in the same bins, which
# cover the finite means of both; all-equal means get bins around their
# value.
bin_means <- function(null_means, exp_means, bins) {
  finite <- c(null_means[is.finite(null_means)], exp_means[is.finite(exp_means)])
  if (length(finite) == 0L) {
    lo <- 0
    hi <- 1
  } else {
    lo <- min(finite)
    hi <- max(finite)
    if (lo == hi) {
      half <- max(abs(lo) * 0.01, 0.5)
      lo <- lo - half
      hi <- hi + half
    }
  }
  count <- function(m) {
    m <- m[is.finite(m)]
    i <- pmin(floor((m - lo) * bins / (hi - lo)), bins - 1) + 1
    tabulate(i, nbins = bins)
  }
  list(breaks = lo + (hi - lo) * (0:bins) / bins,
       null = count(null_means), exp = count(exp_means))
}

plot_means <- function(a, bins = 60, ...) {
  if (length(bins) != 1L || !is.numeric(bins) || bins < 1) {
    stop("bins must be one number of 1 or more", call. = FALSE)
  }
  bins <- as.integer(bins)
  h <- bin_means(a$null_means, a$exp_means, bins)
  observed <- mean(a$values[a$n_a + seq_len(a$n_b)])
  xlim <- range(c(h$breaks, if (is.finite(observed)) observed))
  plot.new()
  plot.window(xlim = xlim, ylim = c(0, max(c(h$null, h$exp, 1)) * 1.08))
  left <- h$breaks[-length(h$breaks)]
  right <- h$breaks[-1L]
  rect(left, 0, right, h$null, border = NA,
       col = adjustcolor(kalmir_colours[["a"]], alpha.f = 0.35))
  rect(left, 0, right, h$exp, border = NA,
       col = adjustcolor(kalmir_colours[["b"]], alpha.f = 0.35))
  lines(rep(h$breaks, each = 2), c(0, rep(h$null, each = 2), 0),
        col = kalmir_colours[["a"]], lwd = 1.5)
  lines(rep(h$breaks, each = 2), c(0, rep(h$exp, each = 2), 0),
        col = kalmir_colours[["b"]], lwd = 1.5)
  abline(v = observed, lwd = 2, col = "grey10")
  axis(1)
  axis(2, las = 1)
  box()
  mtext(paste0("p = ", report_figure(figure_of(a, "p"))), side = 3,
        at = observed, adj = -0.05, line = 0.2, cex = 0.9)
  dots <- list(...)
  dots$main <- NULL
  do.call(title, c(list(xlab = paste0("Simulated ", a$label_b,
                                      "-phase mean")), dots))
  title(ylab = "Simulated cases per bin", line = ylab_line())
  legend("topright", bty = "n", cex = 0.8,
         legend = c("Null-model means", "Experimental-model means",
                    paste0("Observed ", a$label_b, "-phase mean")),
         fill = c(adjustcolor(kalmir_colours[["a"]], alpha.f = 0.35),
                  adjustcolor(kalmir_colours[["b"]], alpha.f = 0.35), NA),
         border = c(kalmir_colours[["a"]], kalmir_colours[["b"]], NA),
         lty = c(NA, NA, 1), lwd = c(NA, NA, 2),
         col = c(NA, NA, "grey10"))
}
