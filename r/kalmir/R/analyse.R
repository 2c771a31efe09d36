kalmir_ab <- function(a, b, ...) {
  args <- list(...)
  allowed <- c("name", "phase_a", "phase_b", "improvement", "resamples",
               "cases", "threads")
  unknown <- setdiff(names(args), allowed)
  if (length(args) > 0L && (is.null(names(args)) || any(names(args) == ""))) {
    stop("kalmir_ab takes a, b and named options only", call. = FALSE)
  }
  if (length(unknown) > 0L) {
    stop(sprintf("kalmir_ab has no option %s; it takes %s",
                 paste(sQuote(unknown, FALSE), collapse = ", "),
                 paste(allowed, collapse = ", ")), call. = FALSE)
  }
  for (phase in c("a", "b")) {
    v <- if (phase == "a") a else b
    if (!is_numbers(v)) {
      stop(sprintf("%s must be a numeric vector (it is %s)", phase,
                   type_name(v)), call. = FALSE)
    }
  }
  name <- if (is.null(args$name)) "AB" else args$name
  if (!is_label(name)) stop("name must be one string", call. = FALSE)
  defaults <- list(phase_a = "A", phase_b = "B", improvement = "increase",
                   resamples = 10000, cases = 100000, threads = 0)
  defaults[names(args)[names(args) %in% names(defaults)]] <-
    args[names(args) %in% names(defaults)]
  settings <- do.call(check_settings, defaults)
  # Two vectors are one case already: only the missing values to leave out.
  a <- as.numeric(a)
  b <- as.numeric(b)
  missing <- is.na(c(a, b)) & !is.nan(c(a, b))
  case <- list(name = enc2utf8(name), error = NULL,
               a = a[!is.na(a) | is.nan(a)], b = b[!is.na(b) | is.nan(b)],
               notes = input_notes(missing, as.character(which(missing)),
                                   FALSE, numeric()))
  run_analyses(list(case), settings, all_or_nothing = TRUE)
}

kalmir_analyse <- function(data, case = "case", phase = "phase",
                           values = "values", mt = "mt", phase_a = "A",
                           phase_b = "B", improvement = "increase",
                           resamples = 10000, cases = 100000, threads = 0) {
  single_name <- if (is.name(substitute(data))) {
    deparse(substitute(data))
  } else {
    "data"
  }
  analyse_data(data, case = case, phase = phase, values = values, mt = mt,
               mt_required = !missing(mt) && !is.null(mt),
               phase_a = phase_a, phase_b = phase_b,
               improvement = improvement, resamples = resamples,
               cases = cases, threads = threads, single_name = single_name)
}

# The whole path from the caller's data to the result: the cases prepared,
# each analysed, and the table put together.
analyse_data <- function(data, case = "case", phase = "phase",
                         values = "values", mt = "mt", mt_required = FALSE,
                         phase_a = "A", phase_b = "B",
                         improvement = "increase", resamples = 10000,
                         cases = 100000, threads = 0, single_name = "data") {
  settings <- check_settings(phase_a, phase_b, improvement, resamples, cases,
                             threads)
  prepared <- prepare_cases(data, case = case, phase = phase,
                            values = values, mt = mt,
                            mt_required = mt_required,
                            phase_a = settings$phase_a,
                            phase_b = settings$phase_b,
                            single_name = single_name)
  run_analyses(prepared, settings)
}

check_settings <- function(phase_a, phase_b, improvement, resamples, cases,
                           threads) {
  if (!is_label(phase_a) || !nzchar(trimws(phase_a))) {
    stop("phase_a must be one label, such as \"A\"", call. = FALSE)
  }
  if (!is_label(phase_b) || !nzchar(trimws(phase_b))) {
    stop("phase_b must be one label, such as \"B\"", call. = FALSE)
  }
  if (same_label(phase_a, phase_b)) {
    stop(sprintf("phase_a and phase_b are both \"%s\"; the phases need two labels",
                 phase_a), call. = FALSE)
  }
  if (!is_label(improvement) || !improvement %in% c("increase", "decrease")) {
    stop("improvement must be \"increase\" or \"decrease\"", call. = FALSE)
  }
  list(phase_a = enc2utf8(trimws(phase_a)), phase_b = enc2utf8(trimws(phase_b)),
       improvement = improvement,
       resamples = whole_number(resamples, "resamples"),
       cases = whole_number(cases, "cases"),
       threads = whole_number(threads, "threads"))
}

# A count as the library takes it; the library itself says which counts
# are too small.
whole_number <- function(x, what) {
  if (!is.numeric(x) || length(x) != 1L || is.na(x) || x != round(x) ||
      abs(x) > .Machine$integer.max) {
    stop(sprintf("%s must be one whole number", what), call. = FALSE)
  }
  as.integer(x)
}

is_label <- function(x) {
  is.character(x) && length(x) == 1L && !is.na(x)
}

is_numbers <- function(x) {
  (is.numeric(x) || (is.logical(x) && all(is.na(x)))) && is.null(dim(x)) &&
    !is.factor(x)
}

type_name <- function(x) {
  if (is.factor(x)) "a factor" else paste("of type", typeof(x))
}

# Phase labels match as the command line matches them: without case, and
# without the blanks around them.
same_label <- function(x, label) {
  tolower(trimws(x)) == tolower(trimws(label))
}

# The cases to analyse, in the order of their first rows: each with its
# name and either its A and B values and input notes, or what is wrong
# with it.
prepare_cases <- function(data, case, phase, values, mt, mt_required,
                          phase_a, phase_b, single_name) {
  if (is.data.frame(data)) {
    frames <- split_long(data, case, single_name)
  } else if (is.list(data)) {
    frames <- data
    if (length(frames) == 0L) stop("data is an empty list", call. = FALSE)
    nms <- names(frames)
    if (is.null(nms)) nms <- rep("", length(frames))
    nms[is.na(nms) | nms == ""] <-
      as.character(seq_along(frames))[is.na(nms) | nms == ""]
    dup <- nms[duplicated(nms)]
    if (length(dup) > 0L) {
      stop(sprintf("the list names the case \"%s\" more than once", dup[1L]),
           call. = FALSE)
    }
    for (i in seq_along(frames)) {
      if (!is.data.frame(frames[[i]])) {
        stop(sprintf("case \"%s\" is not a data frame (a list of cases holds one data frame per case)",
                     nms[i]), call. = FALSE)
      }
    }
    names(frames) <- nms
    frames <- lapply(frames, function(f) {
      attr(f, "kalmir_rows") <- seq_len(nrow(f))
      f
    })
  } else {
    stop("data must be a data frame (one row per measurement) or a list of data frames (one per case)",
         call. = FALSE)
  }
  result <- vector("list", length(frames))
  for (i in seq_along(frames)) {
    result[[i]] <- prepare_case(frames[[i]], enc2utf8(names(frames)[i]),
                                phase, values, mt, mt_required, phase_a,
                                phase_b)
  }
  result
}

# A long data frame split by its case column (or one case without one);
# each part remembers the rows it came from.
split_long <- function(data, case, single_name) {
  if (nrow(data) == 0L) stop("data has no rows", call. = FALSE)
  rows <- seq_len(nrow(data))
  if (is.null(case) || !case %in% names(data)) {
    if (!is.null(case) && !identical(case, "case")) {
      stop(sprintf("data has no column \"%s\" (case)", case), call. = FALSE)
    }
    attr(data, "kalmir_rows") <- rows
    return(structure(list(data), names = single_name))
  }
  ids <- data[[case]]
  if (is.factor(ids)) ids <- as.character(ids)
  if (!is.atomic(ids) || !is.null(dim(ids))) {
    stop(sprintf("the case column \"%s\" does not hold names", case),
         call. = FALSE)
  }
  ids <- trimws(as.character(ids))
  empty <- which(is.na(ids) | ids == "")
  if (length(empty) > 0L) {
    stop(sprintf("row %d: the case column \"%s\" is empty", empty[1L], case),
         call. = FALSE)
  }
  groups <- split(rows, factor(ids, levels = unique(ids)))
  lapply(groups, function(r) {
    part <- data[r, , drop = FALSE]
    attr(part, "kalmir_rows") <- r
    part
  })
}

# One case's data frame checked as the command line checks a case of a
# data file; rows are numbered as in the caller's data.
prepare_case <- function(frame, name, phase, values, mt, mt_required,
                         phase_a, phase_b) {
  rows <- attr(frame, "kalmir_rows")
  failed <- function(what) list(name = name, error = what)
  where <- function(i) sprintf("row %d: ", rows[i])
  for (column in c(phase, values)) {
    if (!column %in% names(frame)) {
      stop(sprintf("case \"%s\": no column \"%s\"", name, column),
           call. = FALSE)
    }
  }
  if (nrow(frame) == 0L) {
    return(failed("no measurements (the data frame has no rows)"))
  }
  y <- frame[[values]]
  if (!is_numbers(y)) {
    stop(sprintf("case \"%s\": the values column \"%s\" is not numeric (it is %s)",
                 name, values, type_name(y)), call. = FALSE)
  }
  y <- as.numeric(y)
  labels <- frame[[phase]]
  if (is.factor(labels)) labels <- as.character(labels)
  labels <- as.character(labels)
  has_mt <- !is.null(mt) && mt %in% names(frame)
  if (mt_required && !has_mt) {
    stop(sprintf("case \"%s\": no column \"%s\" (mt)", name, mt),
         call. = FALSE)
  }
  if (has_mt) {
    time <- frame[[mt]]
    if (!is_numbers(time)) {
      stop(sprintf("case \"%s\": the mt column \"%s\" is not numeric (it is %s)",
                   name, mt, type_name(time)), call. = FALSE)
    }
    time <- as.numeric(time)
  }
  # Row by row, the first problem found, as a data file is read.
  is_b <- logical(length(y))
  for (i in seq_along(labels)) {
    if (is.na(labels[i]) || trimws(labels[i]) == "") {
      return(failed(paste0(where(i), "no phase on this row")))
    }
    if (same_label(labels[i], phase_b)) {
      is_b[i] <- TRUE
    } else if (!same_label(labels[i], phase_a)) {
      return(failed(sprintf("%sphase \"%s\" is neither %s nor %s (phase_a and phase_b set the labels)",
                            where(i), labels[i], phase_a, phase_b)))
    }
    if (has_mt && !is.finite(time[i])) {
      return(failed(paste0(where(i), if (is.na(time[i]) && !is.nan(time[i]))
        "no mt on this row" else sprintf("mt %s is not a number", time[i]))))
    }
  }
  # NaN is a value that is not a number, for the library to refuse.
  missing <- is.na(y) & !is.nan(y)
  order_by <- seq_along(y)
  if (has_mt) {
    order_by <- order(time, method = "radix")
    sorted <- time[order_by]
    same <- which(diff(sorted) == 0)
    if (length(same) > 0L) {
      pair <- sort(order_by[same[1L] + 0:1])
      return(failed(sprintf("%smt %s is also on row %d", where(pair[2L]),
                            format(sorted[same[1L]], digits = 15),
                            rows[pair[1L]])))
    }
  }
  in_order <- if (has_mt) " in mt order" else ""
  b_seq <- is_b[order_by]
  if (!any(b_seq) || all(b_seq)) {
    has <- if (any(b_seq)) phase_b else phase_a
    lacks <- if (any(b_seq)) phase_a else phase_b
    return(failed(sprintf("no %s phase (the phase column holds only %s)",
                          lacks, has)))
  }
  first_b <- match(TRUE, b_seq)
  if (first_b == 1L) {
    return(failed(sprintf("%sphase %s begins before phase %s%s; the %s phase (baseline) comes first",
                          where(order_by[1L]), phase_b, phase_a, in_order,
                          phase_a)))
  }
  again <- which(!b_seq[first_b:length(b_seq)])
  if (length(again) > 0L) {
    i <- order_by[first_b + again[1L] - 1L]
    return(failed(sprintf("%sphase %s again after phase %s began%s (on row %d); a case has one %s phase, then one %s phase",
                          where(i), phase_a, phase_b, in_order,
                          rows[order_by[first_b]], phase_a, phase_b)))
  }
  kept <- order_by[!missing[order_by]]
  # Where the missing values stood: at their mt, or at their occasions
  # counted over the case's rows.
  left_out <- order_by[missing[order_by]]
  places <- if (has_mt) {
    format(time[left_out], digits = 15, trim = TRUE)
  } else {
    as.character(which(missing[order_by]))
  }
  list(name = name, error = NULL, a = y[kept[!is_b[kept]]],
       b = y[kept[is_b[kept]]],
       notes = input_notes(missing, places, has_mt,
                           if (has_mt) time[kept] else numeric()))
}

# The notes on a case's input, in the command line's words: the values
# left out as missing (R's NA) and where, and mt that is not evenly spaced.
input_notes <- function(missing, places, at_mt, times) {
  n_missing <- sum(missing)
  .input_notes(n_missing, if (n_missing > 0L) "NA" else character(),
               places, at_mt, as.numeric(times))
}

# Every prepared case analysed in turn, and the table put together: a row
# per case, the cases that could not be analysed with their reason. With
# all_or_nothing (one series given as such) a case that cannot be analysed
# is an error. stop_at >= 0 is for tests: see .analyse_ab.
run_analyses <- function(prepared, settings, all_or_nothing = FALSE,
                         stop_at = -1) {
  rows <- vector("list", length(prepared))
  analyses <- vector("list", length(prepared))
  failures <- character()
  for (i in seq_along(prepared)) {
    p <- prepared[[i]]
    error <- p$error
    if (is.null(error)) {
      out <- .analyse_ab(p$name, settings$phase_a, settings$phase_b, p$a, p$b,
                         p$notes, settings$improvement == "decrease",
                         settings$resamples, settings$cases,
                         settings$threads, stop_at)
      if (!is.null(out$error) && identical(out$code, "bad_options")) {
        stop(out$error, call. = FALSE)
      }
      error <- out$error
    }
    if (!is.null(error)) {
      if (all_or_nothing) stop(error, call. = FALSE)
      rows[[i]] <- .table_error_row(p$name, error)
      failures <- c(failures, sprintf("case \"%s\": %s", p$name, error))
      next
    }
    rows[[i]] <- out$row
    analyses[[i]] <- c(list(name = p$name, label_a = settings$phase_a,
                            label_b = settings$phase_b), out)
  }
  if (length(failures) == length(prepared)) {
    stop(if (length(failures) == 1L) {
      sub("^case \"[^\"]*\": ", "", failures)
    } else {
      paste0("no case could be analysed: ", paste(failures, collapse = "; "))
    }, call. = FALSE)
  }
  for (f in failures) warning(paste("not analysed:", f), call. = FALSE)
  table <- bind_rows(rows)
  names(analyses) <- table$case
  analyses <- analyses[!vapply(analyses, is.null, logical(1))]
  structure(table, class = c("kalmir", "data.frame"), analyses = analyses,
            improvement = settings$improvement)
}

# Rows of fields bound into the table: each column takes the type of its
# values, and an empty field is NA of that type.
bind_rows <- function(rows) {
  columns <- .table_columns()
  table <- lapply(columns, function(column) {
    unlist(lapply(rows, function(row) {
      if (is.null(row[[column]])) NA else row[[column]]
    }), use.names = FALSE)
  })
  names(table) <- columns
  as.data.frame(table, stringsAsFactors = FALSE, optional = TRUE)
}
