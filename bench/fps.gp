# The benchmark's chart: frames per second of each contestant, the median of
# its runs as a bar, the slowest and fastest run as the error bar.
#   gnuplot -e "data='fps.dat'; output='fps.png'" fps.gp
# fps.dat (bench_runner): index, "name", median, min, max.
set terminal pngcairo size 900,480 font ",11"
set output output
set title "Frames per second on Xvfb + llvmpipe (median of the runs; bars: min to max)"
set style data histogram
set style histogram errorbars gap 1 lw 1.5
set style fill solid 0.6 border -1
set boxwidth 0.8
set yrange [0:*]
# room above the tallest bar for its label
set offsets 0, 0, graph 0.08, 0
set xtics font ",10"
set ylabel "frames per second"
set grid ytics
set key off
plot data using 3:4:5:xtic(2) linecolor rgb "#4a7fb5", \
     '' using 0:5:(sprintf("%.0f", $3)) with labels offset 0,1 notitle
