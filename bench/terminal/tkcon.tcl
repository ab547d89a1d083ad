# The terminal benchmark in tkcon: prints TERMINAL_BENCH_LINES lines with
# puts, updating the window after each, then scrolls from the top by 3 units
# TERMINAL_BENCH_STEPS times, updating after each, and writes the times to
# TERMINAL_BENCH_OUT. Run in tkcon's interpreter (tkcon -slave).
set out [open $::env(TERMINAL_BENCH_OUT) w]
set lines $::env(TERMINAL_BENCH_LINES)
set steps $::env(TERMINAL_BENCH_STEPS)
set start [clock microseconds]
for {set i 1} {$i <= $lines} {incr i} {
    puts "line $i of the output"
    update
}
set printed [expr {([clock microseconds] - $start) / 1e6}]
tkcon console yview moveto 0
update
set worst 0
set start [clock microseconds]
for {set i 0} {$i < $steps} {incr i} {
    set step [clock microseconds]
    tkcon console yview scroll 3 units
    update
    set worst [expr {max($worst, [clock microseconds] - $step)}]
}
set scrolled [expr {([clock microseconds] - $start) / 1e6}]
puts $out "print $printed scroll $scrolled worst [expr {$worst / 1e3}]"
close $out
exit
