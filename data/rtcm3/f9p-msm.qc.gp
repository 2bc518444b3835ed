# The quality picture of a log file: satellites and mean C/N0 per system, gaps shaded.
set terminal pngcairo size 1200,800 noenhanced font "DejaVu Sans,13"
set encoding utf8
$satellites << EOD
# seconds since 1970 (GPS time) G R
1653435659 9 7
1653435660 9 7
EOD
$cnr << EOD
# seconds since 1970 (GPS time) G R
1653435659 40.7 38.6
1653435660 40.8 38.6
EOD
set xdata time
set timefmt "%s"
set format x "%H:%M:%S"
set xlabel "GPS time"
set xrange ["1653435659":"1653435660"]
set lmargin 10
set rmargin 12
set grid
set key outside right top samplen 2
set multiplot layout 2,1 title "Station 0, 2022-05-24: completeness 100.0 % (2 of 2 epochs), no gap" font ",16"
set ylabel "satellites tracked"
set yrange [0:*]
set offsets 0, 0, 1, 0
plot $satellites using 1:2 with lines linewidth 2 linecolor rgb "#1f77b4" title "G", $satellites using 1:3 with lines linewidth 2 linecolor rgb "#d62728" title "R"
set ylabel "mean C/N0 (dB-Hz)"
set yrange [*:*]
set offsets 0, 0, 1, 1
plot $cnr using 1:2 with lines linewidth 2 linecolor rgb "#1f77b4" title "G", $cnr using 1:3 with lines linewidth 2 linecolor rgb "#d62728" title "R"
unset multiplot
